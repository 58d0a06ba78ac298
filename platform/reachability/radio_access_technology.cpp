#include "platform/reachability/radio_access_technology.h"

#include <atomic>

#include "platform/dispatch/notification_center.h"

namespace platform {
namespace {

// The technology plus one, 0 for none.
std::atomic<int> current{0};

}  // namespace

std::optional<RadioAccessTechnology> currentRadioAccessTechnology() {
  const int value = current.load();
  if (value == 0) return std::nullopt;
  return static_cast<RadioAccessTechnology>(value - 1);
}

void setCurrentRadioAccessTechnology(std::optional<RadioAccessTechnology> technology) {
  current = technology ? static_cast<int>(*technology) + 1 : 0;
  NotificationCenter::defaultCenter().post(kRadioAccessTechnologyDidChangeNotification);
}

}  // namespace platform
