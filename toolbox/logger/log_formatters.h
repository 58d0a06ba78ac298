#pragma once

#include <sys/types.h>

#include <string>

#include "platform/foundation/value.h"
#include "toolbox/logger/log_roles.h"

// "yyyy-MM-dd HH:mm:ss.SSS" in local time: the time stamp of formatted log lines.
std::string ZTMLocalTimestamp(platform::Date date);

// The message alone: the format applied to its arguments; function name and level are ignored.
class ZSDK_ZTMLogBasicFormatter : public ZTMLogFormatter {
 public:
  std::optional<std::string> stringForFunc(const std::optional<std::string>& func,
                                           const char* format, va_list args,
                                           ZTMLoggerLevel level) override;

  // The function name trimmed of white space: "(unknown)" when empty or missing, as it is for
  // method names ("-[A b]", "+[A b]") and names ending in ")", else with "()" appended.
  static std::string prettyNameForFunc(const std::optional<std::string>& func);
};

// "2015-01-31 12:00:00.000 name[pid/thread] [lvl=3] func() message": local time from the
// platform clock, process name and id (taken once, at creation), the calling thread's identity.
class ZSDK_ZTMLogStandardFormatter : public ZSDK_ZTMLogBasicFormatter {
 public:
  ZSDK_ZTMLogStandardFormatter();

  // Never nullopt: a missing format prints as "(null)".
  std::optional<std::string> stringForFunc(const std::optional<std::string>& func,
                                           const char* format, va_list args,
                                           ZTMLoggerLevel level) override;

 private:
  std::string pname_;
  pid_t pid_;
};
