#pragma once
// Collects the identity client's log lines (every level) while it lives.
#include <memory>
#include <string>
#include <vector>

#include "instance_id/iid_logger.h"
#include "platform/foundation/thread_annotations.h"
#include "toolbox/logger/log_filters.h"

namespace instance_id_testing {

class IIDLogCapture {
 public:
  IIDLogCapture()
      : previousWriter_(VIZInstanceIDLogger().writer()),
        previousFilter_(VIZInstanceIDLogger().filter()) {
    VIZInstanceIDLogger().setWriter(lines_);
    VIZInstanceIDLogger().setFilter(std::make_shared<ZSDK_ZTMLogNoFilter>());
  }
  ~IIDLogCapture() {
    VIZInstanceIDLogger().setWriter(previousWriter_);
    VIZInstanceIDLogger().setFilter(previousFilter_);
  }
  IIDLogCapture(const IIDLogCapture&) = delete;
  IIDLogCapture& operator=(const IIDLogCapture&) = delete;

  bool contains(const std::string& text) const { return lines_->contains(text); }

 private:
  class Lines : public ZTMLogWriter {
   public:
    void logMessage(const std::string& message, ZTMLoggerLevel /*level*/) override {
      platform::MutexLock lock(mutex_);
      lines_.push_back(message);
    }
    bool contains(const std::string& text) {
      platform::MutexLock lock(mutex_);
      for (const std::string& line : lines_) {
        if (line.find(text) != std::string::npos) return true;
      }
      return false;
    }

   private:
    platform::Mutex mutex_;
    std::vector<std::string> lines_ VKR_GUARDED_BY(mutex_);
  };

  std::shared_ptr<Lines> lines_ = std::make_shared<Lines>();
  std::shared_ptr<ZTMLogWriter> previousWriter_;
  std::shared_ptr<ZTMLogFilter> previousFilter_;
};

}  // namespace instance_id_testing
