// A URL (first line) and Set-Cookie values (the other lines) from a server: whatever is accepted
// must belong to the URL's host, and both cookie jars must store and match it without trouble.
#include <cstdlib>
#include <string>

#include "platform/net/cookie_storage.h"
#include "platform/net/http_cookie.h"
#include "toolbox/fetcher/session_cookie_storage.h"

namespace {
bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  if (newline == std::string_view::npos) return 0;
  platform::Result<platform::URL> url = platform::URL::parse(input.substr(0, newline));
  if (!url.ok()) return 0;
  platform::net::HTTPCookieStorage jar;
  ZSDK_ZTMSessionCookieStorage fetcherJar;
  std::string_view rest = input.substr(newline + 1);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view header = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    std::optional<platform::net::HTTPCookie> cookie =
        platform::net::parseSetCookie(header, *url, platform::Date{1.8e9});
    if (!cookie) continue;
    std::string host = url->host().value_or("");
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string& domain = cookie->domain;
    const std::string bare = !domain.empty() && domain[0] == '.' ? domain.substr(1) : domain;
    if (host != bare && !endsWith(host, "." + bare)) std::abort();  // a cookie for another host
    jar.setCookies({*cookie}, *url, std::nullopt);
    fetcherJar.setCookies({*cookie}, *url, std::nullopt);
  }
  jar.cookiesForURL(*url);
  fetcherJar.cookiesForURL(*url);
  platform::net::cookieHeaderValue(jar.cookies());
  return 0;
}
