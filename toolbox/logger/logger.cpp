#include "toolbox/logger/logger.h"

#include "platform/foundation/log.h"
#include "toolbox/logger/log_filters.h"
#include "toolbox/logger/log_formatters.h"
#include "toolbox/logger/log_writers.h"

namespace {

struct SharedLoggerSlot {
  platform::Mutex mutex;
  std::shared_ptr<ZSDK_ZTMLogger> logger VKR_GUARDED_BY(mutex);
};
SharedLoggerSlot& sharedLoggerSlot() {
  static SharedLoggerSlot slot;
  return slot;
}

}  // namespace

#define ZTM_LOG_WITH_LEVEL(func, level)       \
  va_list args;                               \
  va_start(args, format);                     \
  logInternalFunc(func, format, args, level); \
  va_end(args)

std::shared_ptr<ZSDK_ZTMLogger> ZSDK_ZTMLogger::sharedLogger() {
  SharedLoggerSlot& slot = sharedLoggerSlot();
  platform::MutexLock lock(slot.mutex);
  if (!slot.logger) slot.logger = standardLogger();
  return slot.logger;
}

void ZSDK_ZTMLogger::setSharedLogger(std::shared_ptr<ZSDK_ZTMLogger> logger) {
  std::shared_ptr<ZSDK_ZTMLogger> previous;
  SharedLoggerSlot& slot = sharedLoggerSlot();
  platform::MutexLock lock(slot.mutex);
  previous = std::exchange(slot.logger, std::move(logger));
}

std::shared_ptr<ZSDK_ZTMLogger> ZSDK_ZTMLogger::standardLogger() {
  return std::make_shared<ZSDK_ZTMLogger>(ZTMFileHandleLogWriter::standardOutput(),
                                          std::make_shared<ZSDK_ZTMLogStandardFormatter>(),
                                          std::make_shared<ZSDK_ZTMLogLevelFilter>());
}

std::shared_ptr<ZSDK_ZTMLogger> ZSDK_ZTMLogger::standardLoggerWithStderr() {
  std::shared_ptr<ZSDK_ZTMLogger> logger = standardLogger();
  logger->setWriter(ZTMFileHandleLogWriter::standardError());
  return logger;
}

std::shared_ptr<ZSDK_ZTMLogger> ZSDK_ZTMLogger::standardLoggerWithStdoutAndStderr() {
  // The standard logger formats and filters each line once; the routing logger re-logs it to
  // one logger per stream, whose filters pick the stream by level.
  const auto plain = std::make_shared<ZSDK_ZTMLogBasicFormatter>();
  const auto toStdout = std::make_shared<ZSDK_ZTMLogger>(
      ZTMFileHandleLogWriter::standardOutput(), plain,
      ZSDK_ZTMLogMaximumLevelFilter::withMaximumLevel(kZTMLoggerLevelInfo));
  const auto toStderr = std::make_shared<ZSDK_ZTMLogger>(
      ZTMFileHandleLogWriter::standardError(), plain,
      ZSDK_ZTMLogMininumLevelFilter::withMinimumLevel(kZTMLoggerLevelError));
  const auto router = std::make_shared<ZSDK_ZTMLogger>(
      std::make_shared<ZTMArrayCompositeLogWriter>(
          std::vector<std::shared_ptr<ZTMLogWriter>>{toStdout, toStderr}),
      plain, std::make_shared<ZSDK_ZTMLogNoFilter>());
  std::shared_ptr<ZSDK_ZTMLogger> logger = standardLogger();
  logger->setWriter(router);
  return logger;
}

std::shared_ptr<ZSDK_ZTMLogger> ZSDK_ZTMLogger::standardLoggerWithPath(
    const std::filesystem::path& path) {
  std::shared_ptr<ZTMFileHandleLogWriter> file =
      ZTMFileHandleLogWriter::fileHandleForLoggingAtPath(path, 0644);
  if (!file) return nullptr;
  std::shared_ptr<ZSDK_ZTMLogger> logger = standardLogger();
  logger->setWriter(std::move(file));
  return logger;
}

std::shared_ptr<ZSDK_ZTMLogger> ZSDK_ZTMLogger::loggerWithWriter(
    std::shared_ptr<ZTMLogWriter> writer, std::shared_ptr<ZTMLogFormatter> formatter,
    std::shared_ptr<ZTMLogFilter> filter) {
  return std::make_shared<ZSDK_ZTMLogger>(std::move(writer), std::move(formatter),
                                          std::move(filter));
}

std::shared_ptr<ZSDK_ZTMLogger> ZSDK_ZTMLogger::logger() {
  return std::make_shared<ZSDK_ZTMLogger>();
}

ZSDK_ZTMLogger::ZSDK_ZTMLogger() : ZSDK_ZTMLogger(nullptr, nullptr, nullptr) {}

ZSDK_ZTMLogger::ZSDK_ZTMLogger(std::shared_ptr<ZTMLogWriter> writer,
                               std::shared_ptr<ZTMLogFormatter> formatter,
                               std::shared_ptr<ZTMLogFilter> filter) {
  setWriter(std::move(writer));
  setFormatter(std::move(formatter));
  setFilter(std::move(filter));
}

std::shared_ptr<ZTMLogWriter> ZSDK_ZTMLogger::writer() const {
  platform::MutexLock lock(mutex_);
  return writer_;
}

void ZSDK_ZTMLogger::setWriter(std::shared_ptr<ZTMLogWriter> writer) {
  if (!writer) writer = ZTMFileHandleLogWriter::standardOutput();
  platform::MutexLock lock(mutex_);
  writer_.swap(writer);  // the old one goes when this call returns, outside the lock
}

std::shared_ptr<ZTMLogFormatter> ZSDK_ZTMLogger::formatter() const {
  platform::MutexLock lock(mutex_);
  return formatter_;
}

void ZSDK_ZTMLogger::setFormatter(std::shared_ptr<ZTMLogFormatter> formatter) {
  if (!formatter) formatter = std::make_shared<ZSDK_ZTMLogBasicFormatter>();
  platform::MutexLock lock(mutex_);
  formatter_.swap(formatter);
}

std::shared_ptr<ZTMLogFilter> ZSDK_ZTMLogger::filter() const {
  platform::MutexLock lock(mutex_);
  return filter_;
}

void ZSDK_ZTMLogger::setFilter(std::shared_ptr<ZTMLogFilter> filter) {
  if (!filter) filter = std::make_shared<ZSDK_ZTMLogNoFilter>();
  platform::MutexLock lock(mutex_);
  filter_.swap(filter);
}

void ZSDK_ZTMLogger::logDebug(const char* format, ...) {
  ZTM_LOG_WITH_LEVEL(nullptr, kZTMLoggerLevelDebug);
}
void ZSDK_ZTMLogger::logInfo(const char* format, ...) {
  ZTM_LOG_WITH_LEVEL(nullptr, kZTMLoggerLevelInfo);
}
void ZSDK_ZTMLogger::logError(const char* format, ...) {
  ZTM_LOG_WITH_LEVEL(nullptr, kZTMLoggerLevelError);
}
void ZSDK_ZTMLogger::logAssert(const char* format, ...) {
  ZTM_LOG_WITH_LEVEL(nullptr, kZTMLoggerLevelAssert);
}
void ZSDK_ZTMLogger::logFuncDebug(const char* func, const char* format, ...) {
  ZTM_LOG_WITH_LEVEL(func, kZTMLoggerLevelDebug);
}
void ZSDK_ZTMLogger::logFuncInfo(const char* func, const char* format, ...) {
  ZTM_LOG_WITH_LEVEL(func, kZTMLoggerLevelInfo);
}
void ZSDK_ZTMLogger::logFuncError(const char* func, const char* format, ...) {
  ZTM_LOG_WITH_LEVEL(func, kZTMLoggerLevelError);
}
void ZSDK_ZTMLogger::logFuncAssert(const char* func, const char* format, ...) {
  ZTM_LOG_WITH_LEVEL(func, kZTMLoggerLevelAssert);
}

void ZSDK_ZTMLogger::logInternalFunc(const char* func, const char* format, va_list args,
                                     ZTMLoggerLevel level) {
  // The roles as they stand now; a concurrent setter doesn't pull them away mid-line.
  std::shared_ptr<ZTMLogWriter> writer;
  std::shared_ptr<ZTMLogFormatter> formatter;
  std::shared_ptr<ZTMLogFilter> filter;
  {
    platform::MutexLock lock(mutex_);
    writer = writer_;
    formatter = formatter_;
    filter = filter_;
  }
  try {
    const std::optional<std::string> funcName =
        func ? std::optional<std::string>(func) : std::nullopt;
    const std::optional<std::string> line = formatter->stringForFunc(funcName, format, args, level);
    if (!line || !filter->filterAllowsMessage(*line, level)) return;
    writer->logMessage(*line, level);
  } catch (...) {
    // Logging never fails its caller.
  }
}

void ZSDK_ZTMLogger::logMessage(const std::string& message, ZTMLoggerLevel level) {
  switch (level) {
    case kZTMLoggerLevelDebug:
      return logDebug("%s", message.c_str());
    case kZTMLoggerLevelInfo:
      return logInfo("%s", message.c_str());
    case kZTMLoggerLevelError:
      return logError("%s", message.c_str());
    case kZTMLoggerLevelAssert:
      return logAssert("%s", message.c_str());
    default:
      return;
  }
}
