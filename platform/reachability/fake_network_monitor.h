#pragma once

#include <atomic>
#include <memory>

#include "platform/foundation/thread_annotations.h"
#include "platform/reachability/network_monitor.h"

namespace platform {

// A network monitor for tests: its flags are set by hand and changes are injected. Installed
// for its lifetime by ScopedFakeNetworkMonitor.
class FakeNetworkMonitor final : public NetworkMonitor {
 public:
  explicit FakeNetworkMonitor(ReachabilityFlags flags = kReachabilityFlagReachable)
      : flags_(flags) {}

  std::optional<ReachabilityFlags> defaultRouteFlags() const override;
  bool canWatchChanges() const override { return available_; }

  // Changes the flags without telling anyone (as a network that changed before anyone watched).
  void setFlags(ReachabilityFlags flags);
  // An unavailable monitor can't read flags or watch changes.
  void setAvailable(bool available) { available_ = available; }
  // Changes the flags and announces the change, as the system does. Main thread.
  void injectChange(ReachabilityFlags flags);

 private:
  mutable platform::Mutex mutex_;
  ReachabilityFlags flags_ VKR_GUARDED_BY(mutex_);
  std::atomic<bool> available_{true};
};

class ScopedFakeNetworkMonitor {
 public:
  explicit ScopedFakeNetworkMonitor(ReachabilityFlags flags = kReachabilityFlagReachable);
  ~ScopedFakeNetworkMonitor();
  ScopedFakeNetworkMonitor(const ScopedFakeNetworkMonitor&) = delete;
  ScopedFakeNetworkMonitor& operator=(const ScopedFakeNetworkMonitor&) = delete;

  FakeNetworkMonitor& operator*() const { return *monitor_; }
  FakeNetworkMonitor* operator->() const { return monitor_.get(); }

 private:
  std::shared_ptr<FakeNetworkMonitor> monitor_;
  std::shared_ptr<NetworkMonitor> previous_;
};

}  // namespace platform
