#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <optional>

#include "ads/foundation/crash_report.h"
#include "ads/foundation/pinger.h"

// Reports uncaught exceptions the ads engine caused. It puts itself in the process's chain of
// terminate handlers; when an exception ends the process it files a report with the pinger's
// persisted retry group, so the report is sent at once if the process lives long enough and by
// the retry pass of the next run otherwise. The handler found before it always runs afterwards.
//
// Thread-safe: the handler runs on whichever thread the exception ended.
class ZADCrashReporter {
 public:
  static constexpr const char* kRetryGroupKey = "/zorova/ads/crash_reporting";

  // Made (and installed) once, by its first caller.
  static ZADCrashReporter& sharedInstance();
  ZADCrashReporter(const ZADCrashReporter&) = delete;
  ZADCrashReporter& operator=(const ZADCrashReporter&) = delete;

  bool reportingEnabled() const { return reportingEnabled_.load(); }
  void setReportingEnabled(bool enabled) { reportingEnabled_.store(enabled); }

  // Reports the exception when reporting is on, then calls the handler found before.
  void handleUncaughtException(const ZADUncaughtException& exception);
  // Files the report when the exception is the engine's.
  void reportUncaughtException(const ZADUncaughtException& exception);

  // The exception being handled, with the stack it was thrown from; nothing outside a handler.
  static std::optional<ZADUncaughtException> currentUncaughtException();

 private:
  ZADCrashReporter();

  const std::terminate_handler previousHandler_;
  std::atomic<bool> reportingEnabled_{false};
};
