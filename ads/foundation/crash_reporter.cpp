#include "ads/foundation/crash_reporter.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <typeinfo>

#include "platform/storage/user_defaults.h"

namespace {

constexpr int kMaximumFrames = 128;
// Frames of the throw and terminate machinery (the C++ runtime, the unwinder, a sanitizer's
// interceptors) sit between this handler's frames and the thrower's: the stack proper starts
// below them.
constexpr std::string_view kThrowMachineryImages[] = {"libstdc++", "libgcc_s", "libasan",
                                                      "libubsan"};
constexpr std::string_view kThrowMachinerySymbols[] = {"__cxa_throw", "__cxa_rethrow",
                                                       "std::terminate", "_Unwind_"};

void terminateHandler() {
  ZADCrashReporter::sharedInstance().handleUncaughtException(
      ZADCrashReporter::currentUncaughtException().value_or(ZADUncaughtException{}));
}

bool isThrowMachinery(const ZADStackFrame& frame) {
  for (std::string_view image : kThrowMachineryImages) {
    if (frame.image.starts_with(image)) return true;
  }
  for (std::string_view name : kThrowMachinerySymbols) {
    if (frame.symbol.find(name) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

ZADCrashReporter& ZADCrashReporter::sharedInstance() {
  static ZADCrashReporter* const reporter = new ZADCrashReporter();  // lives as long as handlers
  return *reporter;
}

ZADCrashReporter::ZADCrashReporter() : previousHandler_(std::set_terminate(&terminateHandler)) {}

std::optional<ZADUncaughtException> ZADCrashReporter::currentUncaughtException() {
  std::exception_ptr current = std::current_exception();
  if (!current) return std::nullopt;
  ZADUncaughtException exception;
  if (const std::type_info* type = abi::__cxa_current_exception_type()) {
    exception.name = type->name();
    int status = 0;
    char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    if (status == 0 && readable) exception.name = readable;
    std::free(readable);
  }
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& e) {
    exception.reason = e.what();
  } catch (...) {
  }
  void* addresses[kMaximumFrames];
  const int count = backtrace(addresses, kMaximumFrames);
  std::vector<const void*> stack(addresses, addresses + std::max(count, 0));
  const std::vector<ZADStackFrame> frames = ZADSymbolicateCallStack(stack);
  // Below this handler's own frames (and whatever a sanitizer puts above them) comes the run of
  // throw machinery; the thrower follows it.
  size_t start = 0;
  bool pastHandler = false;
  bool inMachinery = false;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (!isThrowMachinery(frames[i])) {
      if (inMachinery) break;
      pastHandler = true;
    } else if (pastHandler) {
      inMachinery = true;
      start = i + 1;
    }
  }
  exception.callStackReturnAddresses.assign(stack.begin() + static_cast<std::ptrdiff_t>(start),
                                            stack.end());
  return exception;
}

void ZADCrashReporter::handleUncaughtException(const ZADUncaughtException& exception) {
  if (reportingEnabled() && !exception.name.empty()) reportUncaughtException(exception);
  if (previousHandler_) previousHandler_();
}

void ZADCrashReporter::reportUncaughtException(const ZADUncaughtException& exception) {
  const std::optional<platform::URL> url =
      ZADExceptionReportURL(exception, ZADSymbolicateCallStack(exception.callStackReturnAddresses));
  if (!url) return;
  const std::shared_ptr<ZADPinger> pinger = ZADPinger::sharedInstance();
  // Stored from this thread, under the retry store's lock, and flushed: the process is ending
  // and the report must be on disk before it does.
  pinger->storeRetryURLString(url->absoluteString(), kRetryGroupKey);
  (void)platform::UserDefaults::standard()->synchronize();
  pinger->pingWithRetryGroupKey(kRetryGroupKey, url, url->absoluteString());
}
