#pragma once

// Internal to URL loading: reading a response head from the header lines libcurl hands over.

#include <string>
#include <string_view>
#include <vector>

#include "platform/net/url_request.h"

namespace platform::net {

class ResponseHeadParser {
 public:
  enum class Line { Partial, HeadComplete, Malformed };

  // One line as received, with its line ending. A status line starts a head (interim 1xx heads
  // are dropped); the empty line ends it; lines after the final head (trailers) are ignored. Header
  // lines that are not "name: value" with a token name are skipped; folded continuation lines
  // extend the field before.
  Line addLine(std::string_view line);

  int status() const { return status_; }
  // Fields in order, repeated names joined with ", " (Set-Cookie is kept apart below).
  const HTTPHeaderFields& headers() const { return headers_; }
  const std::vector<std::string>& setCookies() const { return setCookies_; }

 private:
  void reset();

  int status_ = 0;
  bool inHead_ = false;
  bool complete_ = false;
  HTTPHeaderFields headers_;
  std::vector<std::string> setCookies_;
  std::string lastName_;
};

// A challenge header ("Basic realm=\"x\"", "Digest realm=..., nonce=..."): its scheme and realm.
struct AuthenticateHeader {
  std::string scheme;
  std::string realm;
};
AuthenticateHeader parseAuthenticateHeader(std::string_view value);

}  // namespace platform::net
