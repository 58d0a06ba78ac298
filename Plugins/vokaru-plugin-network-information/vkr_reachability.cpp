#include "Plugins/vokaru-plugin-network-information/vkr_reachability.h"

#include "platform/dispatch/notification_center.h"

std::shared_ptr<VKRReachability> VKRReachability::reachabilityForInternetConnection() {
  return std::shared_ptr<VKRReachability>(
      new VKRReachability(platform::NetworkReachability::forDefaultRoute()));
}

bool VKRReachability::startNotifier() {
  reachabilityRef_->setCallback([weak = weak_from_this()](platform::ReachabilityFlags) {
    if (std::shared_ptr<VKRReachability> self = weak.lock()) {
      platform::NotificationCenter::defaultCenter().post(kNetworkReachabilityChangedNotification,
                                                         self.get(), platform::Value(), self);
    }
  });
  return reachabilityRef_->scheduleOnMainLoop();
}

void VKRReachability::stopNotifier() { reachabilityRef_->unscheduleFromMainLoop(); }

VKRNetworkStatus VKRReachability::currentReachabilityStatus() const {
  std::optional<platform::ReachabilityFlags> flags = reachabilityRef_->flags();
  return flags ? networkStatusForFlags(*flags) : kVKRNotReachable;
}

bool VKRReachability::connectionRequired() const {
  std::optional<platform::ReachabilityFlags> flags = reachabilityRef_->flags();
  return flags && (*flags & platform::kReachabilityFlagConnectionRequired) != 0;
}

VKRNetworkStatus VKRReachability::networkStatusForFlags(platform::ReachabilityFlags flags) {
  using namespace platform;
  if ((flags & kReachabilityFlagReachable) == 0) return kVKRNotReachable;
  if ((flags & kReachabilityFlagIsWWAN) != 0) return kVKRReachableViaWWAN;
  if ((flags & (kReachabilityFlagConnectionOnTraffic | kReachabilityFlagConnectionOnDemand)) != 0 &&
      (flags & kReachabilityFlagInterventionRequired) == 0) {
    return kVKRReachableViaWiFi;
  }
  if ((flags & kReachabilityFlagConnectionRequired) != 0) return kVKRNotReachable;
  return kVKRReachableViaWiFi;
}
