#include "ads/foundation/logger.h"

#include <cstdarg>
#include <string>

#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"

namespace {

const platform::QueuePtr& loggingQueue() {
  static const platform::QueuePtr queue = platform::makeSerialQueue("com.zorova.zizov.logging");
  return queue;
}

}  // namespace

ZADLogger& ZADLogger::sharedInstance() {
  static ZADLogger* logger = new ZADLogger();  // stateless; lives as long as the process
  return *logger;
}

void ZADLogger::logPublicMessage(std::string_view message) {
  const std::string text(message);
  ZADLogMessage("<Zorova> %s", text.c_str());
}

void ZADLogMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = platform::vformat(format, args);
  va_end(args);
  loggingQueue()->async([text = std::move(text)] { platform::log(text); });
}
