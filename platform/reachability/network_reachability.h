#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dispatch/notification_center.h"
#include "platform/reachability/network_monitor.h"
#include "platform/reachability/reachability_flags.h"

namespace platform {

// Whether a target (the default route, or a host by name) can be reached, read once or watched
// from the main loop. Reads the monitor in use when it was made.
class NetworkReachability : public std::enable_shared_from_this<NetworkReachability> {
 public:
  using Callback = std::function<void(ReachabilityFlags flags)>;

  // The default route: any IPv4 address.
  static std::shared_ptr<NetworkReachability> forDefaultRoute();
  // A host by name (or address text); null for an empty name.
  static std::shared_ptr<NetworkReachability> forHostName(std::string_view hostName);

  ~NetworkReachability();
  NetworkReachability(const NetworkReachability&) = delete;
  NetworkReachability& operator=(const NetworkReachability&) = delete;

  // Empty for the default route.
  const std::optional<std::string>& hostName() const { return hostName_; }

  // The current flags; nullopt when they can't be read. Any thread; for a host this resolves the
  // name and may block, so not on the main thread.
  std::optional<ReachabilityFlags> flags() const;

  // The callback for changes (empty removes it). Main thread.
  bool setCallback(Callback callback);
  // Starts delivering changes to the callback, on the main thread, with the target's new flags;
  // false when the monitor can't watch. Main thread.
  bool scheduleOnMainLoop();
  // Stops delivering changes. Main thread.
  bool unscheduleFromMainLoop();

 private:
  NetworkReachability(std::optional<std::string> hostName, std::shared_ptr<NetworkMonitor> monitor)
      : hostName_(std::move(hostName)), monitor_(std::move(monitor)) {}
  void networkChanged();
  void deliver(uint64_t generation, std::optional<ReachabilityFlags> flags);

  const std::optional<std::string> hostName_;
  const std::shared_ptr<NetworkMonitor> monitor_;
  Callback callback_;
  NotificationCenter::Observation observation_;
  // Host reads run off the main thread; only the answer to the latest change is delivered.
  uint64_t generation_ = 0;
};

}  // namespace platform
