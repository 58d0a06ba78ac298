#include "toolbox/logger/log_formatters.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <ctime>

#include "platform/dispatch/clock.h"
#include "platform/foundation/log.h"

namespace {

constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

}  // namespace

std::string ZTMLocalTimestamp(platform::Date date) {
  const double floored = std::floor(date.secondsSince1970);
  const auto seconds = static_cast<time_t>(floored);
  const int millis = std::min(999, static_cast<int>((date.secondsSince1970 - floored) * 1000));
  tm local{};
  localtime_r(&seconds, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  return platform::format("%s.%03d", stamp, millis);
}

std::optional<std::string> ZSDK_ZTMLogBasicFormatter::stringForFunc(
    const std::optional<std::string>& /*func*/, const char* format, va_list args,
    ZTMLoggerLevel /*level*/) {
  if (format == nullptr) return std::nullopt;
  return platform::vformat(format, args);
}

std::string ZSDK_ZTMLogBasicFormatter::prettyNameForFunc(const std::optional<std::string>& func) {
  const std::string_view name = func ? trimmed(*func) : std::string_view();
  if (name.empty()) return "(unknown)";
  if (name.starts_with("-[") || name.starts_with("+[") || name.ends_with(")")) {
    return std::string(name);
  }
  return std::string(name) + "()";
}

ZSDK_ZTMLogStandardFormatter::ZSDK_ZTMLogStandardFormatter()
    : pname_(program_invocation_short_name), pid_(getpid()) {}

std::optional<std::string> ZSDK_ZTMLogStandardFormatter::stringForFunc(
    const std::optional<std::string>& func, const char* format, va_list args,
    ZTMLoggerLevel level) {
  const std::optional<std::string> message =
      ZSDK_ZTMLogBasicFormatter::stringForFunc(func, format, args, level);
  return platform::format("%s %s[%d/%p] [lvl=%d] %s %s", ZTMLocalTimestamp(platform::now()).c_str(),
                          pname_.c_str(), static_cast<int>(pid_),
                          reinterpret_cast<void*>(pthread_self()), static_cast<int>(level),
                          prettyNameForFunc(func).c_str(), message ? message->c_str() : "(null)");
}
