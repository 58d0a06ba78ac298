#pragma once
// The instance-identity client's configuration and its logger: one toolbox logger per process
// whose lines read "<local time>: VIZInstanceID | <message>".
#include <cstdint>
#include <memory>

#include "toolbox/logger/logger.h"

// Told when every token must be fetched again; called on the main queue.
class VIZInstanceIDDelegate {
 public:
  virtual ~VIZInstanceIDDelegate() = default;
  virtual void onTokenRefresh() = 0;
};

// What the caller hands to startWithConfig: a log level 0 to 3 (debug, info, error, assert) and
// the delegate, held weakly.
class VIZInstanceIDConfig {
 public:
  // Log level 2 (error), no delegate.
  static VIZInstanceIDConfig defaultConfig() { return VIZInstanceIDConfig(2); }
  explicit VIZInstanceIDConfig(int8_t logLevel) : logLevel_(logLevel) {}

  int8_t logLevel() const { return logLevel_; }
  void setLogLevel(int8_t level) { logLevel_ = level; }
  std::weak_ptr<VIZInstanceIDDelegate> delegate() const { return delegate_; }
  void setDelegate(std::weak_ptr<VIZInstanceIDDelegate> delegate) {
    delegate_ = std::move(delegate);
  }

 private:
  int8_t logLevel_;
  std::weak_ptr<VIZInstanceIDDelegate> delegate_;
};

class VIZInstanceIDLogFormatter : public ZTMLogFormatter {
 public:
  // Nothing without a format; otherwise the time stamp, the tag and the message.
  std::optional<std::string> stringForFunc(const std::optional<std::string>& func,
                                           const char* format, va_list args,
                                           ZTMLoggerLevel level) override;
};

// The client's logger, made on first use (thread-safe).
ZSDK_ZTMLogger& VIZInstanceIDLogger();

// Shorthands for the client's logger.
#define VIZ_IID_LOG_ERROR(...) VIZInstanceIDLogger().logFuncError(__func__, __VA_ARGS__)
#define VIZ_IID_LOG_INFO(...) VIZInstanceIDLogger().logFuncInfo(__func__, __VA_ARGS__)
#define VIZ_IID_LOG_DEBUG(...) VIZInstanceIDLogger().logFuncDebug(__func__, __VA_ARGS__)
