#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/dispatch/notification_center.h"
#include "platform/reachability/reachability_flags.h"

namespace platform {

// The source of network state: the system's (GIO's network monitor) unless a test installed
// another (FakeNetworkMonitor).
class NetworkMonitor {
 public:
  virtual ~NetworkMonitor() = default;

  // Flags of the default route; nullopt when they can't be read. Any thread.
  virtual std::optional<ReachabilityFlags> defaultRouteFlags() const = 0;
  // Whether changes can be watched at all.
  virtual bool canWatchChanges() const { return true; }

  // Calls the handler on the main thread after each change of the network, while the
  // observation lives. Any thread.
  [[nodiscard]] NotificationCenter::Observation observeChanges(std::function<void()> handler);

 protected:
  // Tells the observers that the network changed. Main thread.
  void announceChange();

 private:
  NotificationCenter changes_;
};

// The monitor in use. Any thread.
std::shared_ptr<NetworkMonitor> networkMonitor();
// Installs a monitor (null puts the system's back); answers the previous one.
std::shared_ptr<NetworkMonitor> setNetworkMonitor(std::shared_ptr<NetworkMonitor> monitor);

}  // namespace platform
