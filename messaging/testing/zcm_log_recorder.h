#pragma once
// Test support: records every line of the messaging client's logger while it lives (every level
// passes), and puts the logger's writer and filter back afterwards.
#include <memory>
#include <string>
#include <vector>

#include "toolbox/logger/log_roles.h"

class ZCMLogRecorder {
 public:
  ZCMLogRecorder();
  ~ZCMLogRecorder();
  ZCMLogRecorder(const ZCMLogRecorder&) = delete;
  ZCMLogRecorder& operator=(const ZCMLogRecorder&) = delete;

  struct Line {
    std::string text;  // the whole formatted line
    ZTMLoggerLevel level;
  };
  std::vector<Line> lines() const;
  // How many lines end with the message at the level.
  size_t count(const std::string& message, ZTMLoggerLevel level) const;
  bool contains(const std::string& message, ZTMLoggerLevel level) const {
    return count(message, level) > 0;
  }

 private:
  class Writer;
  std::shared_ptr<Writer> writer_;
  std::shared_ptr<ZTMLogWriter> previousWriter_;
  std::shared_ptr<ZTMLogFilter> previousFilter_;
};
