#include "platform/foundation/battery.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/foundation/text_number.h"

namespace platform {

namespace {

std::optional<std::string> firstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return line;
}

}  // namespace

BatteryStatus batteryStatus(const std::filesystem::path& powerSupplies) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(powerSupplies, error)) {
    if (firstLine(entry.path() / "type") != "Battery") continue;
    BatteryStatus status;
    if (std::optional<std::string> capacity = firstLine(entry.path() / "capacity")) {
      status.level =
          std::clamp<double>(static_cast<double>(integerValueOfText(*capacity)), 0, 100) / 100;
    }
    const std::string state = firstLine(entry.path() / "status").value_or("");
    if (state == "Discharging" || state == "Not charging") status.state = BatteryState::Unplugged;
    if (state == "Charging") status.state = BatteryState::Charging;
    if (state == "Full") status.state = BatteryState::Full;
    return status;
  }
  return {};
}

}  // namespace platform
