#include "messaging/testing/zcm_log_recorder.h"

#include <algorithm>

#include "messaging/base/zcm_logger.h"
#include "platform/foundation/thread_annotations.h"
#include "toolbox/logger/log_filters.h"

class ZCMLogRecorder::Writer : public ZTMLogWriter {
 public:
  void logMessage(const std::string& message, ZTMLoggerLevel level) override {
    platform::MutexLock lock(mutex_);
    lines_.push_back({message, level});
  }
  std::vector<Line> lines() const {
    platform::MutexLock lock(mutex_);
    return lines_;
  }

 private:
  mutable platform::Mutex mutex_;
  std::vector<Line> lines_ VKR_GUARDED_BY(mutex_);
};

ZCMLogRecorder::ZCMLogRecorder()
    : writer_(std::make_shared<Writer>()),
      previousWriter_(ZCMLogger().writer()),
      previousFilter_(ZCMLogger().filter()) {
  ZCMLogger().setWriter(writer_);
  ZCMLogger().setFilter(std::make_shared<ZSDK_ZTMLogNoFilter>());
}

ZCMLogRecorder::~ZCMLogRecorder() {
  ZCMLogger().setWriter(previousWriter_);
  ZCMLogger().setFilter(previousFilter_);
}

std::vector<ZCMLogRecorder::Line> ZCMLogRecorder::lines() const { return writer_->lines(); }

size_t ZCMLogRecorder::count(const std::string& message, ZTMLoggerLevel level) const {
  const std::vector<Line> all = lines();
  return std::count_if(all.begin(), all.end(), [&](const Line& line) {
    return line.level == level && line.text.ends_with(" | " + message);
  });
}
