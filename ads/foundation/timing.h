#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

// One measured duration on the monotonic millisecond clock: idle (start 0), running (start set,
// end 0) or ended (both set). Thread-safe: the time stamps are kept under a lock, the clock read
// on the caller's thread before it is taken.
class ZADTiming {
 public:
  // Without a category: "ZADTiming (<address>)".
  explicit ZADTiming(std::optional<std::string> category = std::nullopt);
  // From {"category", "start", "end"}; missing numbers read as 0.
  static std::shared_ptr<ZADTiming> fromDictionaryRepresentation(const platform::Value& dictionary);
  std::shared_ptr<ZADTiming> copy() const;

  platform::Dictionary dictionaryRepresentation() const;
  std::string description() const;

  // Starts (again): start = now, end = 0.
  void start();
  // Ends a started timing; one never started stays idle.
  void end();
  void reset();

  uint64_t startTimestamp() const;
  uint64_t endTimestamp() const;
  bool isActive() const;
  // Ended: end - start; running: the time so far, or 0 when it has an explicit end; idle: 0.
  uint64_t elapsedMilliseconds() const;
  std::string elapsedMillisecondsString() const;

  std::string category() const;
  void setCategory(std::string category);
  bool explicitEnd() const;
  void setExplicitEnd(bool explicitEnd);
  void setStartTimestamp(uint64_t timestamp);
  void setEndTimestamp(uint64_t timestamp);

 private:
  mutable platform::Mutex mutex_;
  bool explicitEnd_ VKR_GUARDED_BY(mutex_) = false;
  std::string category_ VKR_GUARDED_BY(mutex_);
  uint64_t startTimestamp_ VKR_GUARDED_BY(mutex_) = 0;
  uint64_t endTimestamp_ VKR_GUARDED_BY(mutex_) = 0;
};
