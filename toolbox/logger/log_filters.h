#pragma once

#include <atomic>
#include <bitset>
#include <memory>
#include <set>

#include "platform/dispatch/notification_center.h"
#include "toolbox/logger/log_roles.h"

// The standard filter: debug lines never pass; info lines only while verbose logging is on;
// every other level passes. Verbose logging is on when the environment variable
// "ZTMVerboseLogging" says yes ("Y…", "T…" or a non-zero number, after trimming), or, when that
// variable is absent, when the boolean user default "ZTMVerboseLogging" is set. It is read at
// creation and again whenever the user defaults change.
class ZSDK_ZTMLogLevelFilter : public ZTMLogFilter {
 public:
  ZSDK_ZTMLogLevelFilter();
  bool filterAllowsMessage(const std::string& message, ZTMLoggerLevel level) override;

 private:
  // Shared with the change observer, which may still be running on another thread while the
  // filter goes away.
  std::shared_ptr<std::atomic<bool>> verboseLoggingEnabled_;
  platform::NotificationCenter::Observation defaultsObservation_;
};

// Lets everything through.
class ZSDK_ZTMLogNoFilter : public ZTMLogFilter {
 public:
  bool filterAllowsMessage(const std::string& message, ZTMLoggerLevel level) override;
};

// Lets through the levels of a set drawn from 0-4.
class ZSDK_ZTMLogAllowedLevelFilter : public ZTMLogFilter {
 public:
  // Levels 0 to 4.
  ZSDK_ZTMLogAllowedLevelFilter();
  // Null when the set is empty or holds a level outside 0-4.
  static std::shared_ptr<ZSDK_ZTMLogAllowedLevelFilter> withAllowedLevels(
      const std::set<int32_t>& levels);

  bool filterAllowsMessage(const std::string& message, ZTMLoggerLevel level) override;

 protected:
  using Levels = std::bitset<5>;
  explicit ZSDK_ZTMLogAllowedLevelFilter(Levels levels) : allowedLevels_(levels) {}

 private:
  const Levels allowedLevels_;
};

// Lets through the levels from the minimum up to 4.
class ZSDK_ZTMLogMininumLevelFilter : public ZSDK_ZTMLogAllowedLevelFilter {
 public:
  // Null when the minimum lies outside 0-4.
  static std::shared_ptr<ZSDK_ZTMLogMininumLevelFilter> withMinimumLevel(int32_t minimumLevel);

 private:
  using ZSDK_ZTMLogAllowedLevelFilter::ZSDK_ZTMLogAllowedLevelFilter;
};

// Lets through the levels from 0 up to the maximum.
class ZSDK_ZTMLogMaximumLevelFilter : public ZSDK_ZTMLogAllowedLevelFilter {
 public:
  // Null when the maximum lies outside 0-4.
  static std::shared_ptr<ZSDK_ZTMLogMaximumLevelFilter> withMaximumLevel(int32_t maximumLevel);

 private:
  using ZSDK_ZTMLogAllowedLevelFilter::ZSDK_ZTMLogAllowedLevelFilter;
};
