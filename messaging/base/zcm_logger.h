#pragma once
// The messaging client's logger: one toolbox logger per process, apart from the toolbox's shared
// one and the identity client's, whose lines read "<local time>: ZCM | <message>".
#include <memory>

#include "toolbox/logger/logger.h"

class ZCMLogFormatter : public ZTMLogFormatter {
 public:
  // Nothing without a format; otherwise the time stamp, the tag and the message. The function
  // name and the level are not part of the line.
  std::optional<std::string> stringForFunc(const std::optional<std::string>& func,
                                           const char* format, va_list args,
                                           ZTMLoggerLevel level) override;
};

// The client's logger, made on first use (thread-safe) from the toolbox's standard logger with
// its formatter replaced; the messaging service replaces its filter when it starts.
ZSDK_ZTMLogger& ZCMLogger();

// Shorthands for the client's logger, naming the calling function.
#define ZCM_LOG_ERROR(...) ZCMLogger().logFuncError(__func__, __VA_ARGS__)
#define ZCM_LOG_INFO(...) ZCMLogger().logFuncInfo(__func__, __VA_ARGS__)
#define ZCM_LOG_DEBUG(...) ZCMLogger().logFuncDebug(__func__, __VA_ARGS__)
