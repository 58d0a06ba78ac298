#include "ads/foundation/timing.h"

#include "ads/foundation/monotonic_clock.h"
#include "platform/foundation/log.h"

ZADTiming::ZADTiming(std::optional<std::string> category) {
  platform::MutexLock lock(mutex_);
  category_ = category ? std::move(*category)
                       : platform::format("ZADTiming (%p)", static_cast<const void*>(this));
}

std::shared_ptr<ZADTiming> ZADTiming::fromDictionaryRepresentation(
    const platform::Value& dictionary) {
  auto timing = std::make_shared<ZADTiming>(dictionary["category"].stringIf()
                                                ? std::optional(*dictionary["category"].stringIf())
                                                : std::nullopt);
  timing->setStartTimestamp(
      static_cast<uint64_t>(std::max<int64_t>(0, dictionary["start"].intOr(0))));
  timing->setEndTimestamp(static_cast<uint64_t>(std::max<int64_t>(0, dictionary["end"].intOr(0))));
  return timing;
}

std::shared_ptr<ZADTiming> ZADTiming::copy() const {
  return fromDictionaryRepresentation(platform::Value(dictionaryRepresentation()));
}

platform::Dictionary ZADTiming::dictionaryRepresentation() const {
  platform::MutexLock lock(mutex_);
  return {{"category", category_}, {"start", startTimestamp_}, {"end", endTimestamp_}};
}

std::string ZADTiming::description() const {
  return platform::format("ZADTiming (%p): %s", static_cast<const void*>(this),
                          platform::describe(platform::Value(dictionaryRepresentation())).c_str());
}

void ZADTiming::start() {
  const uint64_t now = ZADMonotonicMilliseconds();
  platform::MutexLock lock(mutex_);
  startTimestamp_ = now;
  endTimestamp_ = 0;
}

void ZADTiming::end() {
  const uint64_t now = ZADMonotonicMilliseconds();
  platform::MutexLock lock(mutex_);
  if (startTimestamp_ != 0) endTimestamp_ = now;
}

void ZADTiming::reset() {
  platform::MutexLock lock(mutex_);
  startTimestamp_ = endTimestamp_ = 0;
}

uint64_t ZADTiming::startTimestamp() const {
  platform::MutexLock lock(mutex_);
  return startTimestamp_;
}

uint64_t ZADTiming::endTimestamp() const {
  platform::MutexLock lock(mutex_);
  return endTimestamp_;
}

bool ZADTiming::isActive() const {
  platform::MutexLock lock(mutex_);
  return startTimestamp_ != 0 && endTimestamp_ == 0;
}

uint64_t ZADTiming::elapsedMilliseconds() const {
  const uint64_t now = ZADMonotonicMilliseconds();
  platform::MutexLock lock(mutex_);
  if (endTimestamp_ >= startTimestamp_) return endTimestamp_ - startTimestamp_;
  if (explicitEnd_) return 0;
  return now > startTimestamp_ ? now - startTimestamp_ : 0;
}

std::string ZADTiming::elapsedMillisecondsString() const {
  return std::to_string(elapsedMilliseconds());
}

std::string ZADTiming::category() const {
  platform::MutexLock lock(mutex_);
  return category_;
}

void ZADTiming::setCategory(std::string category) {
  platform::MutexLock lock(mutex_);
  category_ = std::move(category);
}

bool ZADTiming::explicitEnd() const {
  platform::MutexLock lock(mutex_);
  return explicitEnd_;
}

void ZADTiming::setExplicitEnd(bool explicitEnd) {
  platform::MutexLock lock(mutex_);
  explicitEnd_ = explicitEnd;
}

void ZADTiming::setStartTimestamp(uint64_t timestamp) {
  platform::MutexLock lock(mutex_);
  startTimestamp_ = timestamp;
}

void ZADTiming::setEndTimestamp(uint64_t timestamp) {
  platform::MutexLock lock(mutex_);
  endTimestamp_ = timestamp;
}
