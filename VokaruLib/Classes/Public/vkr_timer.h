#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

// One named stopwatch.
class VKRTimerItem {
 public:
  VKRTimerItem(std::string name, platform::Date started)
      : name_(std::move(name)), started_(started) {}

  const std::string& name() const { return name_; }
  platform::Date started() const { return started_; }
  const std::optional<platform::Date>& ended() const { return ended_; }
  void setEnded(platform::Date ended) { ended_ = ended; }
  // "[VKRTimer][<name>] <elapsed>ms"
  void log() const;

 private:
  std::string name_;
  platform::Date started_;
  std::optional<platform::Date> ended_;
};

// Process-wide named stopwatches that log how long something took. Names match without regard to
// case; the log shows the name given at start.
class VKRTimer {
 public:
  static VKRTimer& sharedInstance();
  static void start(std::string_view name) { sharedInstance().add(name); }
  static void stop(std::string_view name) { sharedInstance().remove(name); }
  static void clearAll() { sharedInstance().removeAll(); }

  // A name already running is logged and keeps its start.
  void add(std::string_view name);
  // Logs the elapsed time and forgets the stopwatch; an unknown name is logged.
  void remove(std::string_view name);
  void removeAll();

 private:
  VKRTimer() = default;
  platform::Mutex mutex_;
  std::map<std::string, VKRTimerItem, std::less<>> items_ VKR_GUARDED_BY(mutex_);
};
