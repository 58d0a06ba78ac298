#include "instance_id/iid_logger.h"

#include "platform/dispatch/clock.h"
#include "platform/foundation/log.h"
#include "toolbox/logger/log_formatters.h"

std::optional<std::string> VIZInstanceIDLogFormatter::stringForFunc(
    const std::optional<std::string>& /*func*/, const char* format, va_list args,
    ZTMLoggerLevel /*level*/) {
  if (format == nullptr) return std::nullopt;
  return ZTMLocalTimestamp(platform::now()) + ": VIZInstanceID | " +
         platform::vformat(format, args);
}

ZSDK_ZTMLogger& VIZInstanceIDLogger() {
  static const std::shared_ptr<ZSDK_ZTMLogger> logger = [] {
    std::shared_ptr<ZSDK_ZTMLogger> made = ZSDK_ZTMLogger::standardLogger();
    made->setFormatter(std::make_shared<VIZInstanceIDLogFormatter>());
    return made;
  }();
  return *logger;
}
