#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/url.h"
#include "platform/foundation/value.h"

// A URL without its query plus the query's parameters, which can be read and changed one by one;
// the URL is rebuilt from them on demand. A plain value: one thread at a time.
class ZSDK_ZTMURLBuilder {
 public:
  // A builder for the URL: the query (and what follows it) is cut from the base and parsed into
  // the parameters. A missing or unparsable URL is a caller error: it is reported ("URL must not
  // be nil", "URL is invalid") and gives nothing.
  static std::optional<ZSDK_ZTMURLBuilder> builderWithString(std::optional<std::string_view> text);
  static std::optional<ZSDK_ZTMURLBuilder> builderWithURL(const platform::URL& url);

  void setValue(std::string value, std::string parameter);
  void setIntegerValue(int64_t value, std::string parameter);
  std::optional<std::string> valueForParameter(std::string_view parameter) const;
  // The value's leading integer; 0 when absent.
  int64_t integerValueForParameter(std::string_view parameter) const;
  void removeParameter(std::string_view parameter);
  void setParameters(platform::Dictionary parameters) { params_ = std::move(parameters); }
  platform::Dictionary& parameters() { return params_; }
  const platform::Dictionary& parameters() const { return params_; }

  // "base?query" with at least one parameter, else the base; nothing when that does not parse.
  std::optional<platform::URL> URL() const;
  // The URL's text; empty when there is no URL.
  std::string URLString() const;
  const std::string& baseURLString() const { return baseURLString_; }

  bool operator==(const ZSDK_ZTMURLBuilder& other) const;
  size_t hash() const;

 private:
  ZSDK_ZTMURLBuilder(std::string base, platform::Dictionary params)
      : baseURLString_(std::move(base)), params_(std::move(params)) {}

  std::string baseURLString_;
  platform::Dictionary params_;
};
