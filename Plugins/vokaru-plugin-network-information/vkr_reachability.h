#pragma once

#include <memory>

#include "platform/reachability/network_reachability.h"

// Posted through the default notification center on every change a started VKRReachability
// sees, with the VKRReachability (a std::shared_ptr) as object.
inline constexpr const char* kNetworkReachabilityChangedNotification =
    "kNetworkReachabilityChangedNotification";

// How a target can be reached.
enum VKRNetworkStatus : int {
  kVKRNotReachable = 0,
  kVKRReachableViaWWAN = 1,
  kVKRReachableViaWiFi = 2,
};

// Whether the network can be reached, over the platform's reachability, and its changes as
// notifications. Main thread only.
class VKRReachability : public std::enable_shared_from_this<VKRReachability> {
 public:
  // The default route (the zero IPv4 address).
  static std::shared_ptr<VKRReachability> reachabilityForInternetConnection();

  // Starts posting changes; false when the platform can't watch.
  bool startNotifier();
  void stopNotifier();
  // Not reachable when the flags can't be read.
  VKRNetworkStatus currentReachabilityStatus() const;
  bool connectionRequired() const;
  static VKRNetworkStatus networkStatusForFlags(platform::ReachabilityFlags flags);

 private:
  explicit VKRReachability(std::shared_ptr<platform::NetworkReachability> reachability)
      : reachabilityRef_(std::move(reachability)) {}

  const std::shared_ptr<platform::NetworkReachability> reachabilityRef_;
};
