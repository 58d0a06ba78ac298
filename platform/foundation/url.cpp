#include "platform/foundation/url.h"

#include <arpa/inet.h>
#include <idn2.h>

#include <algorithm>
#include <filesystem>

#include "platform/foundation/percent_encoding.h"
#include "platform/foundation/url_path.h"
#include "platform/foundation/utf8.h"

namespace platform {

namespace {

constexpr CharacterSet kPasswordAllowed = kURLUserAllowed.adding(":");

Error urlError(URLParseErrorCode code, std::string message) {
  return Error::withDescription(kURLParseErrorDomain, code, std::move(message));
}

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return text;
}

// The text of a part with what `allowed` lacks percent-escaped; valid escapes are kept as they
// are and control characters refused. A "%" that starts no escape stands for itself ("%25"), as
// browsers and HTTP clients read it, so such a URL (a redirect's, say) can still be followed.
Result<std::string> escapePart(std::string_view raw, const CharacterSet& allowed) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      return urlError(kURLInvalidCharacter, "The URL text holds a control character.");
    }
    if (c == '%') {
      if (raw.size() - i < 3 || !isHexDigit(raw[i + 1]) || !isHexDigit(raw[i + 2])) {
        out += "%25";
        continue;
      }
      out.append(raw.substr(i, 3));
      i += 2;
    } else if (allowed.contains(c)) {
      out += c;
    } else {
      out += percentEncode(raw.substr(i, 1), allowed);
    }
  }
  return out;
}

bool isValidScheme(std::string_view scheme) {
  static constexpr CharacterSet kLetters = CharacterSet::alphanumerics().removing("0123456789");
  static constexpr CharacterSet kSchemeAllowed = CharacterSet::alphanumerics().adding("+-.");
  if (scheme.empty() || !kLetters.contains(scheme[0])) return false;
  return std::all_of(scheme.begin(), scheme.end(),
                     [](char c) { return kSchemeAllowed.contains(c); });
}

bool isValidIPv6(std::string_view host) {
  static constexpr CharacterSet kIPv6Allowed = CharacterSet().adding("0123456789abcdefABCDEF:.");
  if (host.empty() || host.size() > 45) return false;
  if (!std::all_of(host.begin(), host.end(), [](char c) { return kIPv6Allowed.contains(c); })) {
    return false;
  }
  in6_addr address;
  return inet_pton(AF_INET6, std::string(host).c_str(), &address) == 1;
}

// A registered name: unreserved and sub-delimiter characters, or escapes of UTF-8 text that holds
// nothing else.
bool isValidRegName(std::string_view host) {
  for (size_t i = 0; i < host.size(); ++i) {
    if (host[i] == '%') {
      if (host.size() - i < 3 || !isHexDigit(host[i + 1]) || !isHexDigit(host[i + 2])) return false;
      i += 2;
    } else if (!kURLHostAllowed.contains(host[i])) {
      return false;
    }
  }
  std::optional<std::string> decoded = percentDecode(host);
  return decoded && std::all_of(decoded->begin(), decoded->end(), [](char c) {
           return static_cast<unsigned char>(c) >= 0x80 || kURLHostAllowed.contains(c);
         });
}

// A host name as written, raw non-ASCII (UTF-8) text turned into its ASCII form (IDNA), which is
// what name lookup and certificates use; names that are ASCII already are kept as written.
Result<std::string> registeredHost(std::string_view host) {
  const bool ascii = std::all_of(host.begin(), host.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) {
    char* converted = nullptr;
    const std::string text(host);
    if (idn2_lookup_u8(reinterpret_cast<const uint8_t*>(text.c_str()),
                       reinterpret_cast<uint8_t**>(&converted),
                       IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL) != IDN2_OK) {
      return urlError(kURLInvalidHost, "The URL's host is not a valid international name.");
    }
    std::string result(converted);
    idn2_free(converted);
    return result;
  }
  if (!isValidRegName(host)) return urlError(kURLInvalidHost, "The URL's host is invalid.");
  return std::string(host);
}

Result<std::optional<uint16_t>> parsePort(std::string_view text) {
  if (text.empty()) return std::optional<uint16_t>();
  uint32_t port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return urlError(kURLInvalidPort, "The URL's port is not a number.");
    port = port * 10 + static_cast<uint32_t>(c - '0');
    if (port > 65535) return urlError(kURLInvalidPort, "The URL's port is above 65535.");
  }
  return std::optional<uint16_t>(static_cast<uint16_t>(port));
}

// Fills user, password, host and port from the authority; answers the authority's kept text.
Result<std::string> parseAuthority(std::string_view authority, URLParts& parts) {
  std::string kept;
  std::string_view hostPort = authority;
  if (size_t at = authority.rfind('@'); at != std::string_view::npos) {
    std::string_view userInfo = authority.substr(0, at);
    hostPort = authority.substr(at + 1);
    size_t colon = userInfo.find(':');
    Result<std::string> user = escapePart(userInfo.substr(0, colon), kURLUserAllowed);
    if (!user) return user.error();
    parts.user = *user;
    kept = *user;
    if (colon != std::string_view::npos) {
      Result<std::string> password = escapePart(userInfo.substr(colon + 1), kPasswordAllowed);
      if (!password) return password.error();
      parts.password = *password;
      kept += ":" + *password;
    }
    kept += "@";
  }
  std::string host;
  std::string_view portText;
  if (hostPort.starts_with('[')) {
    size_t close = hostPort.find(']');
    if (close == std::string_view::npos) {
      return urlError(kURLInvalidHost, "The URL's IPv6 address has no closing bracket.");
    }
    host = std::string(hostPort.substr(1, close - 1));
    std::string_view after = hostPort.substr(close + 1);
    if (!after.empty() && after[0] != ':') {
      return urlError(kURLInvalidHost, "The URL's IPv6 address is followed by text.");
    }
    if (!isValidIPv6(host)) return urlError(kURLInvalidHost, "The URL's IPv6 address is invalid.");
    if (!after.empty()) portText = after.substr(1);
    kept += hostPort;
  } else {
    size_t colon = hostPort.find(':');
    Result<std::string> name = registeredHost(hostPort.substr(0, colon));
    if (!name) return name.error();
    host = *name;
    kept += host;
    if (colon != std::string_view::npos) {
      portText = hostPort.substr(colon + 1);
      kept += hostPort.substr(colon);
    }
  }
  Result<std::optional<uint16_t>> port = parsePort(portText);
  if (!port) return port.error();
  parts.host = std::move(host);
  parts.port = *port;
  return kept;
}

// Escapes query and fragment into `parts` and appends them to `text`.
Status appendQueryAndFragment(std::optional<std::string_view> query,
                              std::optional<std::string_view> fragment, URLParts& parts,
                              std::string& text) {
  if (query) {
    Result<std::string> escaped = escapePart(*query, kURLQueryAllowed);
    if (!escaped) return escaped.error();
    parts.query = *escaped;
    text += "?" + *escaped;
  }
  if (fragment) {
    Result<std::string> escaped = escapePart(*fragment, kURLFragmentAllowed);
    if (!escaped) return escaped.error();
    parts.fragment = *escaped;
    text += "#" + *escaped;
  }
  return okStatus();
}

// Schemes whose paths a server or the file system reads with "." and ".." already applied: their
// URLs hold the path that is really asked for, so cookie paths and navigation rules match it.
bool hasServerPath(std::string_view scheme, std::string_view path) {
  static constexpr const char* kSchemes[] = {"http", "https", "ws", "wss", "ftp", "file"};
  if (!path.starts_with('/')) return false;
  const std::string lower = lowercased(std::string(scheme));
  return std::any_of(std::begin(kSchemes), std::end(kSchemes),
                     [&](const char* known) { return lower == known; });
}

}  // namespace

Result<URL> URL::parse(std::string_view text) {
  URLParts parts;
  std::string kept;
  std::string_view rest = text;
  if (size_t delimiter = text.find_first_of(":/?#");
      delimiter != std::string_view::npos && text[delimiter] == ':') {
    std::string_view scheme = text.substr(0, delimiter);
    // A relative reference cannot have a ":" in its first segment, so this must be a scheme.
    if (!isValidScheme(scheme)) return urlError(kURLInvalidScheme, "The URL's scheme is invalid.");
    parts.scheme = std::string(scheme);
    kept = parts.scheme + ":";
    rest = text.substr(delimiter + 1);
  }
  std::optional<std::string_view> fragment;
  std::optional<std::string_view> query;
  if (size_t hash = rest.find('#'); hash != std::string_view::npos) {
    fragment = rest.substr(hash + 1);
    rest = rest.substr(0, hash);
  }
  if (size_t question = rest.find('?'); question != std::string_view::npos) {
    query = rest.substr(question + 1);
    rest = rest.substr(0, question);
  }
  if (rest.starts_with("//")) {
    size_t end = rest.find('/', 2);
    Result<std::string> authority = parseAuthority(rest.substr(2, end - 2), parts);
    if (!authority) return authority.error();
    kept += "//" + *authority;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  Result<std::string> path = escapePart(rest, kURLPathAllowed);
  if (!path) return path.error();
  parts.path = hasServerPath(parts.scheme, *path) ? removeDotSegments(*path) : *path;
  kept += parts.path;
  if (Status status = appendQueryAndFragment(query, fragment, parts, kept); !status) {
    return status.error();
  }
  return URL(std::move(parts), std::move(kept));
}

Result<URL> URL::compose(const URLParts& given) {
  URLParts parts;
  std::string text;
  if (!given.scheme.empty()) {
    if (!isValidScheme(given.scheme)) {
      return urlError(kURLInvalidScheme, "The URL's scheme is invalid.");
    }
    parts.scheme = given.scheme;
    text = given.scheme + ":";
  }
  std::string_view path = given.path;
  std::string dotPrefix;
  if (given.host) {
    const bool ipv6 = given.host->find(':') != std::string::npos;
    if (ipv6 && !isValidIPv6(*given.host)) {
      return urlError(kURLInvalidHost, "The URL's host is invalid.");
    }
    Result<std::string> name =
        ipv6 ? Result<std::string>(*given.host) : registeredHost(*given.host);
    if (!name) return name.error();
    const std::string& host = *name;
    text += "//";
    if (given.user || given.password) {
      Result<std::string> user = escapePart(given.user.value_or(""), kURLUserAllowed);
      if (!user) return user.error();
      parts.user = *user;
      text += *user;
      if (given.password) {
        Result<std::string> password = escapePart(*given.password, kPasswordAllowed);
        if (!password) return password.error();
        parts.password = *password;
        text += ":" + *password;
      }
      text += "@";
    }
    parts.host = host;
    text += ipv6 ? "[" + host + "]" : host;
    parts.port = given.port;
    if (given.port) text += ":" + std::to_string(*given.port);
    if (!path.empty() && path[0] != '/') {
      return urlError(kURLInvalidShape, "A URL with a host needs a path that begins with \"/\".");
    }
  } else {
    if (given.user || given.password || given.port) {
      return urlError(kURLInvalidShape, "A URL without a host has no user, password or port.");
    }
    // "//" would start an authority; "/." in front keeps the same path.
    if (path.starts_with("//")) dotPrefix = "/.";
    if (given.scheme.empty() && path.substr(0, path.find('/')).find(':') != std::string::npos) {
      return urlError(kURLInvalidShape, "A relative path cannot have \":\" in its first segment.");
    }
  }
  Result<std::string> escapedPath = escapePart(path, kURLPathAllowed);
  if (!escapedPath) return escapedPath.error();
  parts.path = dotPrefix + *escapedPath;
  text += parts.path;
  if (Status status = appendQueryAndFragment(given.query, given.fragment, parts, text); !status) {
    return status.error();
  }
  return URL(std::move(parts), std::move(text));
}

Result<URL> URL::fileURL(std::string_view path, bool isDirectory) {
  if (path.empty()) return urlError(kURLNotAbsolute, "A file URL needs a path.");
  if (path.find('\0') != std::string_view::npos) {
    return urlError(kURLInvalidCharacter, "The file path holds a NUL byte.");
  }
  std::string absolute(path);
  if (absolute[0] != '/') {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::absolute(absolute, error);
    if (error) return urlError(kURLNotAbsolute, "The current directory is unknown.");
    absolute = resolved.string();
  }
  if (isDirectory && absolute.back() != '/') absolute += '/';
  return compose({.scheme = "file", .host = "", .path = percentEncode(absolute, kURLPathAllowed)});
}

std::string URL::scheme() const { return lowercased(parts_.scheme); }

std::optional<std::string> URL::host() const {
  if (!parts_.host) return std::nullopt;
  return lowercased(percentDecodeBytes(*parts_.host).value_or(*parts_.host));
}

std::optional<std::string> URL::user() const {
  if (!parts_.user) return std::nullopt;
  return percentDecodeBytes(*parts_.user).value_or(*parts_.user);
}

std::optional<std::string> URL::password() const {
  if (!parts_.password) return std::nullopt;
  return percentDecodeBytes(*parts_.password).value_or(*parts_.password);
}

std::string URL::path() const {
  std::string decoded = percentDecodeBytes(parts_.path).value_or(parts_.path);
  if (decoded.size() > 1 && decoded.back() == '/') decoded.pop_back();
  return decoded;
}

std::vector<std::string> URL::pathComponents() const {
  std::vector<std::string> components;
  std::string_view path = parts_.path;
  if (path.starts_with('/')) components.emplace_back("/");
  while (!path.empty()) {
    size_t slash = path.find('/');
    std::string_view segment = path.substr(0, slash);
    if (!segment.empty())
      components.push_back(percentDecodeBytes(segment).value_or(std::string(segment)));
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
  }
  return components;
}

std::string URL::lastPathComponent() const {
  std::vector<std::string> components = pathComponents();
  return components.empty() ? std::string() : components.back();
}

std::string URL::pathExtension() const {
  std::string last = lastPathComponent();
  size_t dot = last.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : last.substr(dot + 1);
}

std::vector<URLQueryItem> URL::queryItems() const {
  std::vector<URLQueryItem> items;
  if (!parts_.query) return items;
  const auto decode = [](std::string_view text) {
    return percentDecodeBytes(text).value_or(std::string(text));
  };
  std::string_view query = *parts_.query;
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    size_t equals = pair.find('=');
    URLQueryItem item{.name = decode(pair.substr(0, equals))};
    if (equals != std::string_view::npos) item.value = decode(pair.substr(equals + 1));
    items.push_back(std::move(item));
  }
  return items;
}

std::string URL::resourceSpecifier() const {
  return isAbsolute() ? text_.substr(parts_.scheme.size() + 1) : text_;
}

std::optional<std::string> URL::filePath() const {
  if (!isFileURL() || !parts_.path.starts_with('/')) return std::nullopt;
  std::optional<std::string> host = this->host();
  if (host && !host->empty() && *host != "localhost") return std::nullopt;
  std::string decoded = path();
  if (decoded.find('\0') != std::string::npos) return std::nullopt;
  return decoded;
}

bool URL::operator==(const URL& other) const {
  const auto folded = [](const URLParts& parts) {
    URLParts copy = parts;
    copy.scheme = lowercased(copy.scheme);
    if (copy.host) copy.host = lowercased(*copy.host);
    return copy;
  };
  return folded(parts_) == folded(other.parts_);
}

std::string encodeQueryItems(const std::vector<URLQueryItem>& items) {
  std::string query;
  for (const URLQueryItem& item : items) {
    if (!query.empty()) query += '&';
    query += percentEncode(item.name, kURLQueryValueAllowed);
    if (item.value) query += "=" + percentEncode(*item.value, kURLQueryValueAllowed);
  }
  return query;
}

}  // namespace platform
