#include "toolbox/logger/log_filters.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "platform/foundation/text_number.h"
#include "platform/storage/user_defaults.h"

namespace {

constexpr const char* kVerboseLoggingKey = "ZTMVerboseLogging";

bool readVerboseLogging() {
  if (const char* value = std::getenv(kVerboseLoggingKey)) {
    std::string_view text(value);
    const size_t first = text.find_first_not_of(" \t\n\v\f\r");
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    if (!text.empty()) {
      const char lead = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
      if (lead == 'Y' || lead == 'T') return true;
    }
    return platform::integerValueOfText(text) != 0;
  }
  return platform::UserDefaults::standard()->boolForKey(kVerboseLoggingKey);
}

}  // namespace

ZSDK_ZTMLogLevelFilter::ZSDK_ZTMLogLevelFilter()
    : verboseLoggingEnabled_(std::make_shared<std::atomic<bool>>(readVerboseLogging())) {
  defaultsObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::kUserDefaultsDidChangeNotification, nullptr,
      [verbose = verboseLoggingEnabled_](const platform::Notification&) {
        verbose->store(readVerboseLogging());
      });
}

bool ZSDK_ZTMLogLevelFilter::filterAllowsMessage(const std::string& /*message*/,
                                                 ZTMLoggerLevel level) {
  switch (level) {
    case kZTMLoggerLevelDebug:
      return false;
    case kZTMLoggerLevelInfo:
      return verboseLoggingEnabled_->load();
    default:
      return true;
  }
}

bool ZSDK_ZTMLogNoFilter::filterAllowsMessage(const std::string& /*message*/,
                                              ZTMLoggerLevel /*level*/) {
  return true;
}

ZSDK_ZTMLogAllowedLevelFilter::ZSDK_ZTMLogAllowedLevelFilter() : allowedLevels_(Levels().set()) {}

std::shared_ptr<ZSDK_ZTMLogAllowedLevelFilter> ZSDK_ZTMLogAllowedLevelFilter::withAllowedLevels(
    const std::set<int32_t>& levels) {
  if (levels.empty()) return nullptr;
  Levels allowed;
  for (int32_t level : levels) {
    if (level < 0 || level > kZTMLoggerLevelAssert) return nullptr;
    allowed.set(static_cast<size_t>(level));
  }
  return std::shared_ptr<ZSDK_ZTMLogAllowedLevelFilter>(new ZSDK_ZTMLogAllowedLevelFilter(allowed));
}

bool ZSDK_ZTMLogAllowedLevelFilter::filterAllowsMessage(const std::string& /*message*/,
                                                        ZTMLoggerLevel level) {
  return level >= 0 && level <= kZTMLoggerLevelAssert && allowedLevels_.test(level);
}

std::shared_ptr<ZSDK_ZTMLogMininumLevelFilter> ZSDK_ZTMLogMininumLevelFilter::withMinimumLevel(
    int32_t minimumLevel) {
  if (minimumLevel < 0 || minimumLevel > kZTMLoggerLevelAssert) return nullptr;
  Levels allowed;
  for (int32_t level = minimumLevel; level <= kZTMLoggerLevelAssert; ++level) allowed.set(level);
  return std::shared_ptr<ZSDK_ZTMLogMininumLevelFilter>(new ZSDK_ZTMLogMininumLevelFilter(allowed));
}

std::shared_ptr<ZSDK_ZTMLogMaximumLevelFilter> ZSDK_ZTMLogMaximumLevelFilter::withMaximumLevel(
    int32_t maximumLevel) {
  if (maximumLevel < 0 || maximumLevel > kZTMLoggerLevelAssert) return nullptr;
  Levels allowed;
  for (int32_t level = 0; level <= maximumLevel; ++level) allowed.set(level);
  return std::shared_ptr<ZSDK_ZTMLogMaximumLevelFilter>(new ZSDK_ZTMLogMaximumLevelFilter(allowed));
}
