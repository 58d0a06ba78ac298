#include "toolbox/reachability/zip_reachability.h"

#include "platform/dispatch/queue.h"
#include "platform/foundation/assertion.h"
#include "platform/foundation/log.h"
#include "platform/foundation/while_alive.h"
#include "toolbox/logger/logger.h"

using platform::ReachabilityFlags;

namespace {

void checkMainThread() {
  if (!platform::isMainThread()) {
    platform::assertionFailure("ZIPReachability should be used from the main thread");
  }
}

struct FlagName {
  ReachabilityFlags flag;
  const char* name;
};
constexpr FlagName kFlagNames[] = {
    {platform::kReachabilityFlagTransientConnection, "TransientConnection"},
    {platform::kReachabilityFlagReachable, "Reachable"},
    {platform::kReachabilityFlagConnectionRequired, "ConnectionRequired"},
    {platform::kReachabilityFlagInterventionRequired, "InterventionRequired"},
    {platform::kReachabilityFlagConnectionOnDemand, "ConnectionOnDemand"},
    {platform::kReachabilityFlagIsLocalAddress, "IsLocalAddress"},
    {platform::kReachabilityFlagIsDirect, "IsDirect"},
    {platform::kReachabilityFlagIsWWAN, "IsWWAN"},
};

}  // namespace

ZIPReachability::ZIPReachability()
    : ZIPReachability(platform::NetworkReachability::forDefaultRoute()) {}

ZIPReachability::ZIPReachability(std::optional<std::string> hostName)
    : ZIPReachability(hostName ? platform::NetworkReachability::forHostName(*hostName)
                               : platform::NetworkReachability::forDefaultRoute()) {
  hostName_ = std::move(hostName);
}

ZIPReachability::ZIPReachability(std::shared_ptr<platform::NetworkReachability> reachability)
    : reachability_(std::move(reachability)), self_(std::make_shared<ZIPReachability*>(this)) {
  if (!reachability_) platform::assertionFailure("Nil reachability ref.");
}

ZIPReachability::~ZIPReachability() { stop(); }

void ZIPReachability::start() {
  if (!monitoring_) {
    std::optional<ReachabilityFlags> flags = reachability_ ? reachability_->flags() : std::nullopt;
    if (!flags) {
      ZSDK_ZTMLogger::sharedLogger()->logFuncError("-[ZIPReachability start]",
                                                   "Unable to get reachability flags");
      return;
    }
    reachabilityFlags_ = *flags;
  }
  startWithCompletionHandler(nullptr);
}

void ZIPReachability::startWithCompletionHandler(std::function<void()> handler) {
  checkMainThread();
  std::weak_ptr<ZIPReachability*> weak = self_;
  if (!monitoring_) {
    if (reachability_ && reachability_->setCallback(platform::whileAlive(
                             weak, [](ZIPReachability* self, ReachabilityFlags flags) {
                               self->callbackWithFlags(flags);
                             }))) {
      if (reachability_->scheduleOnMainLoop()) {
        monitoring_ = true;
      } else {
        reachability_->setCallback(nullptr);
      }
    }
    if (!monitoring_) {
      ZSDK_ZTMLogger::sharedLogger()->logFuncError("-[ZIPReachability startWithCompletionHandler:]",
                                                   "Unable to schedule reachability in runloop");
    }
  }
  // The first read may take a while (a host name resolves), so it happens off the main thread.
  platform::globalQueue()->async([weak, reachability = reachability_,
                                  handler = std::move(handler)] {
    std::optional<ReachabilityFlags> flags = reachability ? reachability->flags() : std::nullopt;
    platform::mainQueue()->async(
        platform::whileAlive(weak, [flags, handler](ZIPReachability* self) {
          ZIPReachability& monitor = *self;
          if (!flags) {
            ZSDK_ZTMLogger::sharedLogger()->logFuncError(
                "-[ZIPReachability startWithCompletionHandler:]",
                "Unable to get initial reachability flags");
          } else if (!monitor.hasPostedNotification_) {
            // Flags a change has delivered meanwhile are newer: they stay.
            monitor.reachabilityFlags_ = *flags;
          }
          if (handler) handler();
        }));
  });
}

void ZIPReachability::stop() {
  checkMainThread();
  if (!monitoring_) return;
  if (!reachability_ || !reachability_->setCallback(nullptr)) {
    ZSDK_ZTMLogger::sharedLogger()->logFuncError("-[ZIPReachability stop]",
                                                 "Unable to reset reachability callback.");
  }
  if (!reachability_ || !reachability_->unscheduleFromMainLoop()) {
    ZSDK_ZTMLogger::sharedLogger()->logFuncError("-[ZIPReachability stop]",
                                                 "Unable to remove reachability from runloop.");
  }
  monitoring_ = false;
  hasPostedNotification_ = false;
}

bool ZIPReachability::isFlagEnabled(ReachabilityFlags flags) const {
  checkMainThread();
  return (reachabilityFlags_ & flags) != 0;
}

bool ZIPReachability::wasPreviouslyReachable(const platform::Notification& notification) {
  return (notification.userInfo[kZIPReachabilityPreviousValueKey].intOr(0) &
          platform::kReachabilityFlagReachable) != 0;
}

std::string ZIPReachability::description() const {
  std::string names;
  for (const FlagName& entry : kFlagNames) {
    if (!isFlagEnabled(entry.flag)) continue;
    if (!names.empty()) names += '|';
    names += entry.name;
  }
  return platform::format("<ZIPReachability: %p> %s flags:[%s]", static_cast<const void*>(this),
                          hostName_.value_or("").c_str(), names.c_str());
}

void ZIPReachability::callbackWithFlags(ReachabilityFlags flags) {
  ZSDK_ZTMLogger::sharedLogger()->logFuncDebug("-[ZIPReachability callbackWithFlags:]",
                                               "Reachability changed: %08x", flags);
  if (flags == reachabilityFlags_ && hasPostedNotification_) return;
  const ReachabilityFlags previous = reachabilityFlags_;
  reachabilityFlags_ = flags;
  hasPostedNotification_ = true;
  platform::NotificationCenter::defaultCenter().post(
      kZIPReachabilityChangedNotification, this,
      platform::Value::dictionary({{kZIPReachabilityPreviousValueKey, previous}}), this);
}
