#pragma once

#include <filesystem>
#include <optional>

namespace platform {

enum class BatteryState { Unknown = 0, Unplugged = 1, Charging = 2, Full = 3 };

struct BatteryStatus {
  // 0 to 1; nothing when unknown (no battery).
  std::optional<double> level;
  BatteryState state = BatteryState::Unknown;
};

// The first battery the kernel lists under the power-supply folder (its "type" is "Battery"):
// "capacity" in percent and "status" ("Discharging"/"Not charging" unplugged, "Charging",
// "Full"). Unknown without one, as on most desktops.
BatteryStatus batteryStatus(const std::filesystem::path& powerSupplies = "/sys/class/power_supply");

}  // namespace platform
