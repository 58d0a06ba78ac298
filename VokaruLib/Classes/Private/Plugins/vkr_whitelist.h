#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/regex.h"
#include "platform/foundation/url.h"

// One origin pattern of a whitelist: scheme, host, port and path, each absent meaning "any".
class VKRWhitelistPattern {
 public:
  // "*" (and for the path "/*") means any; a host "*.name" also matches the name's subdomains;
  // "*" in a path matches any text.
  VKRWhitelistPattern(const std::optional<std::string>& scheme,
                      const std::optional<std::string>& host,
                      const std::optional<std::string>& port,
                      const std::optional<std::string>& path);

  // The text as an expression matching exactly it (metacharacters escaped, "$" appended); with
  // wildcards "*" matches any text, and a trailing "/*" also matches nothing at all.
  static std::string regexFromPattern(std::string_view pattern, bool allowWildcards);

  // Every present part matches the URL's: scheme and host without regard to case, port as
  // written in the URL (a URL without one never matches a pattern with one), the decoded path.
  bool matches(const platform::URL& url) const;

 private:
  std::optional<platform::Regex> scheme_;
  std::optional<platform::Regex> host_;
  std::optional<int64_t> port_;
  std::optional<platform::Regex> path_;
};

// Answers whether URLs are allowed by a list of entries such as "https://*.example.com/*",
// "example.com" (http and https), "tel:*" or "*" (everything).
class VKRWhitelist {
 public:
  static constexpr const char* kDefaultRejectionFormat = "ERROR whitelist rejection: url='%@'";

  explicit VKRWhitelist(const std::vector<std::string>& entries);

  // Entries after "*" change nothing.
  void addWhiteListEntry(const std::string& entry);
  // http, https, ftp and ftps always; other schemes when listed (or when anything is allowed).
  bool schemeIsAllowed(const std::string& scheme) const;
  bool URLIsAllowed(const platform::URL& url, bool logFailure = true) const;
  // The rejection text for the URL: the format with the URL in place of "%@".
  std::string errorStringForURL(const platform::URL& url) const;
  void setWhitelistRejectionFormatString(std::string format) {
    rejectionFormat_ = std::move(format);
  }
  // Four "."-separated parts, each "*" or a number from 0 to 255.
  static bool isIPv4Address(std::string_view text);

  // Nothing when every URL is allowed.
  const std::optional<std::vector<VKRWhitelistPattern>>& whitelist() const { return whitelist_; }

 private:
  std::optional<std::vector<VKRWhitelistPattern>> whitelist_{std::in_place};
  std::optional<std::set<std::string>> permittedSchemes_{std::in_place};
  std::string rejectionFormat_ = kDefaultRejectionFormat;
};
