#include "VokaruLib/Classes/Private/Plugins/vkr_whitelist.h"

#include <charconv>

#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "platform/foundation/log.h"
#include "platform/foundation/percent_encoding.h"

namespace {

constexpr std::string_view kRegexMetacharacters = "\\*?+[(){}^$|./";
constexpr std::string_view kEntrySyntax =
    "^((\\*|[A-Za-z-]+):/?/?)?(((\\*\\.)?[^*/:]+)|\\*)?(:(\\d+))?(/.*)?";

bool isAlwaysAllowedScheme(std::string_view scheme) {
  return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "ftps";
}

// An expression that does not compile matches nothing, so a broken part never allows.
platform::Regex compile(const std::string& pattern, bool caseInsensitive) {
  platform::Result<platform::Regex> regex =
      platform::Regex::compile(pattern, {.caseInsensitive = caseInsensitive});
  return regex.ok() ? *regex : *platform::Regex::compile("(?!)");
}

}  // namespace

// Patterns.

std::string VKRWhitelistPattern::regexFromPattern(std::string_view pattern, bool allowWildcards) {
  std::string regex;
  for (char c : pattern) {
    if (allowWildcards && c == '*') {
      regex += ".*";
    } else {
      if (kRegexMetacharacters.find(c) != std::string_view::npos) regex += '\\';
      regex += c;
    }
  }
  if (allowWildcards && regex.ends_with("\\/.*")) {
    regex.replace(regex.size() - 4, 4, "(\\/.*)?");
  }
  return regex + "$";
}

VKRWhitelistPattern::VKRWhitelistPattern(const std::optional<std::string>& scheme,
                                         const std::optional<std::string>& host,
                                         const std::optional<std::string>& port,
                                         const std::optional<std::string>& path) {
  if (scheme && *scheme != "*") scheme_ = compile(regexFromPattern(*scheme, false), true);
  if (host && *host != "*") {
    if (host->starts_with("*.")) {
      host_ = compile("([a-z0-9.-]*\\.)?" + regexFromPattern(host->substr(2), false), true);
    } else {
      host_ = compile(regexFromPattern(*host, false), true);
    }
  }
  if (port && *port != "*") {
    int64_t number = 0;
    const auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), number);
    port_ = error == std::errc() ? number : 0;
  }
  if (path && *path != "/*") path_ = compile(regexFromPattern(*path, true), false);
}

bool VKRWhitelistPattern::matches(const platform::URL& url) const {
  if (scheme_ && !scheme_->matchesWhole(url.scheme())) return false;
  if (host_) {
    std::optional<std::string> host = url.host();
    if (!host || !host_->matchesWhole(*host)) return false;
  }
  if (port_ && (!url.port() || *url.port() != *port_)) return false;
  if (path_ && !path_->matchesWhole(url.path())) return false;
  return true;
}

// Whitelists.

VKRWhitelist::VKRWhitelist(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) addWhiteListEntry(entry);
}

void VKRWhitelist::addWhiteListEntry(const std::string& entry) {
  if (!whitelist_) return;
  if (entry == "*") {
    platform::log("Unlimited access to network resources");
    whitelist_.reset();
    permittedSchemes_.reset();
    return;
  }
  static const platform::Regex syntax = compile(std::string(kEntrySyntax), false);
  std::optional<platform::Regex::Groups> parts = syntax.matchAtStart(entry);
  if (!parts) return;
  const std::optional<std::string>& scheme = (*parts)[2];
  std::optional<std::string> host = (*parts)[3];
  const std::optional<std::string>& port = (*parts)[7];
  const std::optional<std::string>& path = (*parts)[8];
  if (scheme && (*scheme == "file" || *scheme == "content") && !host) host = "*";
  if (scheme) {
    whitelist_->emplace_back(scheme, host, port, path);
  } else {
    whitelist_->emplace_back("http", host, port, path);
    whitelist_->emplace_back("https", host, port, path);
  }
  if (permittedSchemes_ && scheme) {
    if (*scheme == "*") {
      permittedSchemes_.reset();
    } else {
      permittedSchemes_->insert(vkrLowercase(*scheme));
    }
  }
}

bool VKRWhitelist::schemeIsAllowed(const std::string& scheme) const {
  return isAlwaysAllowedScheme(scheme) || !permittedSchemes_ || permittedSchemes_->count(scheme);
}

bool VKRWhitelist::URLIsAllowed(const platform::URL& url, bool logFailure) const {
  if (!whitelist_) return true;
  const std::string scheme = vkrLowercase(url.scheme());
  if (!schemeIsAllowed(scheme)) {
    if (logFailure) platform::log(errorStringForURL(url));
    return false;
  }
  if (isAlwaysAllowedScheme(scheme)) {
    platform::Result<platform::URL> generic = platform::URL::parse(
        "vkr-default-scheme://" +
        platform::percentEncode(url.host().value_or("") + url.path(), platform::kURLPathAllowed));
    if (generic.ok() && URLIsAllowed(*generic, false)) return true;
  }
  for (const VKRWhitelistPattern& pattern : *whitelist_) {
    if (pattern.matches(url)) return true;
  }
  if (logFailure) platform::log(errorStringForURL(url));
  return false;
}

std::string VKRWhitelist::errorStringForURL(const platform::URL& url) const {
  std::string text = rejectionFormat_;
  const size_t placeholder = text.find("%@");
  if (placeholder != std::string::npos) text.replace(placeholder, 2, url.absoluteString());
  return text;
}

bool VKRWhitelist::isIPv4Address(std::string_view text) {
  int parts = 0;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t dot = std::min(text.find('.', start), text.size());
    const std::string_view part = text.substr(start, dot - start);
    if (part != "*") {
      int value = -1;
      const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
      if (part.empty() || error != std::errc() || end != part.data() + part.size() || value < 0 ||
          value > 255) {
        return false;
      }
    }
    ++parts;
    start = dot + 1;
  }
  return parts == 4;
}
