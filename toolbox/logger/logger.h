#pragma once

#include <filesystem>
#include <memory>

#include "platform/foundation/thread_annotations.h"
#include "toolbox/logger/log_roles.h"

// A levelled logger: one formatter, one filter and one writer. A logger is itself a writer, so
// loggers nest. Any thread may log; nothing thrown inside a role escapes a logging call.
class ZSDK_ZTMLogger : public ZTMLogWriter {
 public:
  // The process-wide logger, made with standardLogger() on first use.
  static std::shared_ptr<ZSDK_ZTMLogger> sharedLogger();
  // Replaces it; null makes the next sharedLogger() make a new standard logger.
  static void setSharedLogger(std::shared_ptr<ZSDK_ZTMLogger> logger);

  // Standard output, the standard formatter, the level filter.
  static std::shared_ptr<ZSDK_ZTMLogger> standardLogger();
  // The same, writing to standard error.
  static std::shared_ptr<ZSDK_ZTMLogger> standardLoggerWithStderr();
  // The same, sending info lines to standard output and error and assert lines to standard error.
  static std::shared_ptr<ZSDK_ZTMLogger> standardLoggerWithStdoutAndStderr();
  // The same, appending to the file (created with mode 0644); null when it can't be opened.
  static std::shared_ptr<ZSDK_ZTMLogger> standardLoggerWithPath(const std::filesystem::path& path);
  // The given roles; a missing one takes its default.
  static std::shared_ptr<ZSDK_ZTMLogger> loggerWithWriter(
      std::shared_ptr<ZTMLogWriter> writer, std::shared_ptr<ZTMLogFormatter> formatter,
      std::shared_ptr<ZTMLogFilter> filter);
  // The three defaults: standard output, the basic formatter, no filter.
  static std::shared_ptr<ZSDK_ZTMLogger> logger();

  ZSDK_ZTMLogger();
  ZSDK_ZTMLogger(std::shared_ptr<ZTMLogWriter> writer, std::shared_ptr<ZTMLogFormatter> formatter,
                 std::shared_ptr<ZTMLogFilter> filter);

  // The roles are never empty: setting none puts the default in place. A replaced role lives on
  // until the calls using it are done.
  std::shared_ptr<ZTMLogWriter> writer() const;
  void setWriter(std::shared_ptr<ZTMLogWriter> writer);
  std::shared_ptr<ZTMLogFormatter> formatter() const;
  void setFormatter(std::shared_ptr<ZTMLogFormatter> formatter);
  std::shared_ptr<ZTMLogFilter> filter() const;
  void setFilter(std::shared_ptr<ZTMLogFilter> filter);

  // printf-style entry points at levels 1 (debug) to 4 (assert); the Func forms name the calling
  // function, for example "-[ZIPReachability start]".
  void logDebug(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void logInfo(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void logError(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void logAssert(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void logFuncDebug(const char* func, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  void logFuncInfo(const char* func, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void logFuncError(const char* func, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  void logFuncAssert(const char* func, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  // Formats (nothing when the formatter answers none), filters, then writes one line.
  void logInternalFunc(const char* func, const char* format, va_list args, ZTMLoggerLevel level)
      __attribute__((format(printf, 3, 0)));

  // As a writer: re-logs a finished line at its level (1 to 4); other levels are dropped.
  void logMessage(const std::string& message, ZTMLoggerLevel level) override;

 private:
  mutable platform::Mutex mutex_;
  std::shared_ptr<ZTMLogWriter> writer_ VKR_GUARDED_BY(mutex_);
  std::shared_ptr<ZTMLogFormatter> formatter_ VKR_GUARDED_BY(mutex_);
  std::shared_ptr<ZTMLogFilter> filter_ VKR_GUARDED_BY(mutex_);
};
