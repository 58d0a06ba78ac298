#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/error.h"

namespace platform {

inline constexpr const char* kURLParseErrorDomain = "URLParseErrorDomain";
enum URLParseErrorCode : int64_t {
  kURLInvalidCharacter = 1,  // a control character
  kURLInvalidScheme = 3,
  kURLInvalidHost = 4,
  kURLInvalidPort = 5,
  kURLInvalidShape = 6,  // parts that cannot form one URL text (a port without a host, ...)
  kURLNotAbsolute = 7,   // a base or file path that must be absolute is not
};

// The parts of a URL as its text holds them: percent-escaped, in the letter case written.
struct URLParts {
  std::string scheme = {};  // empty for a relative reference
  std::optional<std::string> user = {};
  std::optional<std::string> password = {};
  // Present exactly when the URL has an authority ("//"); an IPv6 literal without its brackets.
  std::optional<std::string> host = {};
  std::optional<uint16_t> port = {};
  std::string path = {};
  std::optional<std::string> query = {};
  std::optional<std::string> fragment = {};

  bool operator==(const URLParts&) const = default;
};

// One name/value pair of a query; a value is absent when the pair has no "=".
struct URLQueryItem {
  std::string name = {};
  std::optional<std::string> value = {};

  bool operator==(const URLQueryItem&) const = default;
};

// A URL or relative reference (RFC 3986). Parsing keeps the text as written, except that
// characters a URL may not hold (space, '"', '\\', '<', '>', non-ASCII bytes, ...) are
// percent-escaped, so the text of a URL never holds a double quote, a backslash, a blank, a
// control character or a line separator and can be placed in a double-quoted script string or
// a header. It may hold "'", which RFC 3986 allows. Control characters are refused; a "%" that
// starts no escape is kept as "%25". A host of non-ASCII text is kept in its ASCII (IDNA) form,
// and "." and ".." segments of http(s), ws(s), ftp and file paths are applied, as a server would.
class URL {
 public:
  // The empty relative reference.
  URL() = default;

  static Result<URL> parse(std::string_view text);
  // The URL made of the given parts; characters a part may not hold are escaped as in parse().
  static Result<URL> compose(const URLParts& parts);
  // A "file:" URL for a path (relative paths are taken from the current directory); a directory
  // URL ends with "/".
  static Result<URL> fileURL(std::string_view path, bool isDirectory = false);

  // The reference (text or URL) resolved against this URL, which must be absolute.
  Result<URL> resolve(std::string_view reference) const;
  Result<URL> resolve(const URL& reference) const;

  const std::string& absoluteString() const { return text_; }
  const URLParts& parts() const { return parts_; }
  bool isAbsolute() const { return !parts_.scheme.empty(); }

  // Scheme and host lower-cased, as they compare.
  std::string scheme() const;
  std::optional<std::string> host() const;  // percent-decoded, without brackets
  std::optional<std::string> user() const;  // percent-decoded
  std::optional<std::string> password() const;
  std::optional<uint16_t> port() const { return parts_.port; }  // only when written
  // The percent-decoded path without a trailing "/" (but "/" stays "/").
  std::string path() const;
  // The decoded path's components: "/" first for an absolute path, then each non-empty segment.
  std::vector<std::string> pathComponents() const;
  std::string lastPathComponent() const;  // "" for an empty path
  std::string pathExtension() const;      // after the last "." of the last component, or ""
  // Query and fragment as written (still escaped).
  const std::optional<std::string>& query() const { return parts_.query; }
  const std::optional<std::string>& fragment() const { return parts_.fragment; }
  // The query's "&"-separated pairs in order, percent-decoded ("+" stays "+"); empty pairs are
  // skipped.
  std::vector<URLQueryItem> queryItems() const;
  // Everything after "scheme:" (the whole text of a relative reference).
  std::string resourceSpecifier() const;

  bool isFileURL() const { return scheme() == "file"; }
  // The local path of a "file:" URL (no host, or "localhost"); nullopt for any other URL or a
  // path that holds a NUL byte.
  std::optional<std::string> filePath() const;

  // Equal parts, scheme and host compared without regard to letter case.
  bool operator==(const URL& other) const;

 private:
  URL(URLParts parts, std::string text) : parts_(std::move(parts)), text_(std::move(text)) {}

  URLParts parts_;
  std::string text_;
};

// A query text from pairs in order, names and values escaped with kURLQueryValueAllowed.
std::string encodeQueryItems(const std::vector<URLQueryItem>& items);

}  // namespace platform
