#include "ads/foundation/network.h"

#include <cstring>

#include "platform/foundation/crypto.h"
#include "platform/reachability/reachability_flags.h"

std::shared_ptr<ZADNetwork> ZADNetwork::make(std::optional<std::string> probeHostName) {
  return std::shared_ptr<ZADNetwork>(new ZADNetwork(std::move(probeHostName)));
}

ZADNetwork::ZADNetwork(std::optional<std::string> probeHostName)
    : probeHostName_(std::move(probeHostName)),
      lockQueue_(platform::makeSerialQueue("com.zorova.zizov.network")),
      enableCheckingQueue_(platform::makeSerialQueue("com.zorova.zizov.network-enable")) {}

ZADNetwork::~ZADNetwork() {
  // The reachability's callback holds this object weakly; letting the handle go stops it.
  if (networkReachability_) {
    platform::runOnMainThread(
        [reachability = networkReachability_] { reachability->unscheduleFromMainLoop(); });
  }
}

void ZADNetwork::enableNetworkChecking() {
  std::shared_ptr<platform::NetworkReachability> reachability;
  lockQueue_->sync([&] {
    if (networkReachability_) return;
    setNetworkType(0);
    networkReachability_ = probeHostName_
                               ? platform::NetworkReachability::forHostName(*probeHostName_)
                               : platform::NetworkReachability::forDefaultRoute();
    reachability = networkReachability_;
  });
  if (!reachability) return;
  std::weak_ptr<ZADNetwork> weak = weak_from_this();
  // Watching is main-thread work (done at once when enabled there); the first state is read off
  // the main thread, on the enabling queue, as the later ones are handled.
  platform::runOnMainThread([weak, reachability] {
    reachability->setCallback(
        [weak, probe = std::weak_ptr(reachability)](platform::ReachabilityFlags flags) {
          if (auto self = weak.lock()) {
            self->enableCheckingQueue_->async([self, probe, flags] {
              if (auto reachability = probe.lock()) self->applyFlags(reachability, flags);
            });
          }
        });
    if (reachability->scheduleOnMainLoop()) return;
    if (auto self = weak.lock()) {
      self->lockQueue_->async([self, reachability] {
        if (self->networkReachability_ == reachability) self->networkReachability_.reset();
      });
    }
  });
  enableCheckingQueue_->async([weak, reachability] {
    std::optional<platform::ReachabilityFlags> flags = reachability->flags();
    if (auto self = weak.lock(); self && flags) self->applyFlags(reachability, *flags);
  });
}

void ZADNetwork::applyFlags(const std::shared_ptr<platform::NetworkReachability>& reachability,
                            platform::ReachabilityFlags flags) {
  lockQueue_->async([self = shared_from_this(), reachability, flags] {
    // Only while this probe is still the one in use.
    if (self->networkReachability_ == reachability) self->setNetworkTypeFromFlags(flags);
  });
}

void ZADNetwork::disableNetworkChecking() {
  std::shared_ptr<platform::NetworkReachability> reachability;
  lockQueue_->sync([&] {
    if (!networkReachability_) return;
    reachability = std::move(networkReachability_);
    networkReachability_.reset();
    setNetworkType(0);
  });
  if (reachability) {
    platform::runOnMainThread([reachability] { reachability->unscheduleFromMainLoop(); });
  }
}

void ZADNetwork::setNetworkTypeFromFlags(platform::ReachabilityFlags flags) {
  if (flags & platform::kReachabilityFlagIsWWAN) {
    setNetworkType(3);
  } else {
    setNetworkType((flags & platform::kReachabilityFlagReachable) ? 2 : 1);
  }
}

void ZADNetwork::setNetworkType(int64_t type) {
  lockQueue_->async([weak = weak_from_this(), type] {
    auto self = weak.lock();
    if (!self || type == self->networkType_) return;
    if (type != 0) ++self->changeCount_;
    if (type >= 2) self->lastKnownNetworkType_ = type;
    self->networkType_ = type;
  });
}

int64_t ZADNetwork::networkType() const {
  int64_t type = 0;
  lockQueue_->sync([&] { type = networkType_; });
  return type;
}

int64_t ZADNetwork::changeCount() const {
  int64_t count = 0;
  lockQueue_->sync([&] { count = changeCount_; });
  return count;
}

std::optional<std::string> ZADNetwork::typeString(int64_t type) {
  if (type == 2) return "wi";
  if (type == 3) return "ed";
  return std::nullopt;
}

std::optional<std::string> ZADNetwork::networkTypeString() const {
  return typeString(networkType());
}

std::optional<std::string> ZADNetwork::lastKnownNetworkTypeString() const {
  int64_t type = 0;
  lockQueue_->sync([&] { type = lastKnownNetworkType_; });
  return typeString(type);
}

ZADSession::ZADSession() {
  uint64_t number = 0;
  platform::Result<platform::Bytes> bytes = platform::randomBytes(sizeof(number));
  if (bytes.ok()) std::memcpy(&number, bytes->data(), sizeof(number));
  uniqueID_ = std::to_string(number);
}
