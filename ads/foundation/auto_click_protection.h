#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

// An ad's protection against clicks the user did not make, as its ad response configured it
// ("enable_protection", "reporting_urls"). When the click-through code blocks such an action,
// each reporting URL is pinged once, with the URL the action would have opened put in for
// "{NAVIGATION_URL}". Thread-safe: immutable once made.
class ZADAutoClickProtection {
 public:
  // Nothing without a dictionary.
  static std::optional<ZADAutoClickProtection> initWithDictionary(
      const std::optional<platform::Dictionary>& dictionary);

  bool enabled() const { return enabled_; }
  const std::vector<std::string>& reportingURLStringTemplates() const {
    return reportingURLStringTemplates_;
  }
  // The reporting URLs for the navigation URL (a missing one counts as empty), in order.
  std::vector<std::string> reportingURLStrings(
      const std::optional<std::string>& navigationURLString) const;
  // Pings each of them through the shared pinger, without retry.
  void reportSpamOpenActionWithNavigationURLString(
      const std::optional<std::string>& navigationURLString) const;

 private:
  bool enabled_ = false;
  std::vector<std::string> reportingURLStringTemplates_;
};
