#pragma once

// The three roles a levelled logger joins: a formatter makes the line, a filter decides whether it
// is written, a writer puts it somewhere. Service clients supply roles of their own.

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>

// Severity, in this order. Levels are plain numbers: nothing checks that one lies in 0-4.
enum ZTMLoggerLevel : int32_t {
  kZTMLoggerLevelUnknown = 0,
  kZTMLoggerLevelDebug = 1,
  kZTMLoggerLevelInfo = 2,
  kZTMLoggerLevelError = 3,
  kZTMLoggerLevelAssert = 4,
};

// Puts a finished line somewhere. Called from any thread.
class ZTMLogWriter {
 public:
  virtual ~ZTMLogWriter() = default;
  virtual void logMessage(const std::string& message, ZTMLoggerLevel level) = 0;
};

// Makes one line from the caller's function name (nullopt when none was given), its printf-style
// format (null when missing) and the format's arguments, or answers nullopt for no line. The
// arguments arrive unformatted; read them through a copy (platform::vformat does), never
// consume `args` itself. Called from any thread.
class ZTMLogFormatter {
 public:
  virtual ~ZTMLogFormatter() = default;
  virtual std::optional<std::string> stringForFunc(const std::optional<std::string>& func,
                                                   const char* format, va_list args,
                                                   ZTMLoggerLevel level) = 0;
};

// Decides from the finished line and its level whether it is written. Called from any thread.
class ZTMLogFilter {
 public:
  virtual ~ZTMLogFilter() = default;
  virtual bool filterAllowsMessage(const std::string& message, ZTMLoggerLevel level) = 0;
};
