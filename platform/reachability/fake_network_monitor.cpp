#include "platform/reachability/fake_network_monitor.h"

namespace platform {

std::optional<ReachabilityFlags> FakeNetworkMonitor::defaultRouteFlags() const {
  if (!available_) return std::nullopt;
  platform::MutexLock lock(mutex_);
  return flags_;
}

void FakeNetworkMonitor::setFlags(ReachabilityFlags flags) {
  platform::MutexLock lock(mutex_);
  flags_ = flags;
}

void FakeNetworkMonitor::injectChange(ReachabilityFlags flags) {
  setFlags(flags);
  announceChange();
}

ScopedFakeNetworkMonitor::ScopedFakeNetworkMonitor(ReachabilityFlags flags)
    : monitor_(std::make_shared<FakeNetworkMonitor>(flags)),
      previous_(setNetworkMonitor(monitor_)) {}

ScopedFakeNetworkMonitor::~ScopedFakeNetworkMonitor() { setNetworkMonitor(std::move(previous_)); }

}  // namespace platform
