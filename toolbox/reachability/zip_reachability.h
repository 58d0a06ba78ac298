#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/notification_center.h"
#include "platform/reachability/network_reachability.h"

// Posted on the main thread through the default notification center when the flags change (and
// on the first change after each start): sender and object are the monitor, the user info holds
// the previous flags under kZIPReachabilityPreviousValueKey.
inline constexpr const char* kZIPReachabilityChangedNotification =
    "kZIPReachabilityChangedNotification";
inline constexpr const char* kZIPReachabilityPreviousValueKey = "kZIPReachabilityPreviousValueKey";

// Watches whether the network (or one host) can be reached, keeps the last flags and answers
// questions about them; every question answers false until the first flags are known. Belongs
// to the main thread: start, stop and the questions report misuse elsewhere. Failures of the
// platform are logged through the shared logger and the monitor goes on with the flags it has.
class ZIPReachability {
 public:
  // A monitor of the default route (any IPv4 address).
  ZIPReachability();
  // A monitor of the host, or of the default route when there is no name.
  explicit ZIPReachability(std::optional<std::string> hostName);
  // A monitor of the platform's reachability object; a missing one is a programming error.
  explicit ZIPReachability(std::shared_ptr<platform::NetworkReachability> reachability);
  // Stops first.
  ~ZIPReachability();
  ZIPReachability(const ZIPReachability&) = delete;
  ZIPReachability& operator=(const ZIPReachability&) = delete;

  // Reads the flags at once (not starting when that fails), then starts without a handler.
  void start();
  // Starts watching, then reads the current flags off the main thread and keeps them unless a
  // change arrived meanwhile; then calls the handler (also after a failed read) on the main
  // thread, unless the monitor is gone by then.
  void startWithCompletionHandler(std::function<void()> handler);
  // Stops watching; a later start posts again on the first change.
  void stop();

  // Whether any of the bits is set in the last flags.
  bool isFlagEnabled(platform::ReachabilityFlags flags) const;
  bool isReachable() const { return isFlagEnabled(platform::kReachabilityFlagReachable); }
  bool isConnectionRequired() const {
    return isFlagEnabled(platform::kReachabilityFlagConnectionRequired);
  }
  bool isConnectionOnTraffic() const {
    return isFlagEnabled(platform::kReachabilityFlagConnectionOnTraffic);
  }
  bool isInterventionRequired() const {
    return isFlagEnabled(platform::kReachabilityFlagInterventionRequired);
  }
  bool isConnectionOnDemand() const {
    return isFlagEnabled(platform::kReachabilityFlagConnectionOnDemand);
  }
  bool isDirect() const { return isFlagEnabled(platform::kReachabilityFlagIsDirect); }
  bool isCellularNetwork() const { return isFlagEnabled(platform::kReachabilityFlagIsWWAN); }

  // Whether the flags before the change in the notification had the reachable bit.
  static bool wasPreviouslyReachable(const platform::Notification& notification);

  const std::optional<std::string>& hostName() const { return hostName_; }
  void setHostName(std::optional<std::string> hostName) { hostName_ = std::move(hostName); }
  bool monitoring() const { return monitoring_; }
  void setMonitoring(bool monitoring) { monitoring_ = monitoring; }

  // "<ZIPReachability: 0x…> host flags:[Reachable|IsDirect]"
  std::string description() const;

 private:
  void callbackWithFlags(platform::ReachabilityFlags flags);

  std::optional<std::string> hostName_;
  std::shared_ptr<platform::NetworkReachability> reachability_;
  platform::ReachabilityFlags reachabilityFlags_ = 0;
  bool monitoring_ = false;
  bool hasPostedNotification_ = false;
  // Answers that come back later hold this weakly and do nothing once the monitor is gone.
  std::shared_ptr<ZIPReachability*> self_;
};
