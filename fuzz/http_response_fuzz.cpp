// Response heads, challenge headers, content types and data URLs as servers and pages send them.
#include <cmath>
#include <cstdlib>

#include "platform/net/data_url.h"
#include "platform/net/http_date.h"
#include "platform/net/response_head.h"
#include "platform/net/url_request.h"
#include "toolbox/fetcher/retry_after.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  platform::net::ResponseHeadParser parser;
  std::string_view rest = input;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end == std::string_view::npos ? end : end + 1);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (parser.addLine(line) == platform::net::ResponseHeadParser::Line::HeadComplete) {
      if (parser.status() < 200 || parser.status() > 999) std::abort();
      platform::net::URLResponse response;
      platform::net::applyContentType(response,
                                      parser.headers().value("Content-Type").value_or(""));
      platform::net::parseAuthenticateHeader(
          parser.headers().value("WWW-Authenticate").value_or(""));
      const double wait = retryAfterSeconds(parser.headers().value("Retry-After").value_or(""),
                                            platform::Date{1.8e9});
      if (!(wait >= 0) || std::isinf(wait)) std::abort();
    }
  }
  platform::net::parseHTTPDate(input);
  platform::net::parseCookieDate(input);
  static_cast<void>(platform::net::decodeDataURL(input));  // any answer will do; no crash
  const double wait = retryAfterSeconds(input, platform::Date{0});
  if (!(wait >= 0) || std::isinf(wait)) std::abort();
  return 0;
}
