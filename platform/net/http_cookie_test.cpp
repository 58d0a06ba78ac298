#include "platform/net/http_cookie.h"

#include <gtest/gtest.h>

#include "platform/dispatch/clock.h"
#include "platform/net/cookie_storage.h"

namespace platform::net {
namespace {

URL url(const std::string& text) { return URL::parse(text).value(); }

constexpr Date kNow{1'800'000'000.0};

HTTPCookie cookieNamed(const char* name, const char* value, const char* domain) {
  HTTPCookie cookie;
  cookie.name = name;
  cookie.value = value;
  cookie.domain = domain;
  return cookie;
}

TEST(SetCookieTest, DomainsAServerMaySetAndTheirDefaults) {
  struct Case {
    const char* header;
    const char* from;
    std::optional<std::string> domain;  // nullopt: refused
    const char* path;
  };
  const Case cases[] = {
      {"a=1", "http://www.example.com/docs/page", "www.example.com", "/docs"},
      {"a=1; Path=/x", "http://www.example.com/", "www.example.com", "/x"},
      {"a=1; Path=relative", "http://www.example.com/d/p", "www.example.com", "/d"},
      {"a=1; Domain=example.com", "http://www.example.com/", ".example.com", "/"},
      {"a=1; Domain=.EXAMPLE.com", "http://www.example.com/", ".example.com", "/"},
      {"a=1; Domain=www.example.com", "http://www.example.com/", ".www.example.com", "/"},
      {"a=1; Domain=other.com", "http://www.example.com/", std::nullopt, ""},
      {"a=1; Domain=ample.com", "http://www.example.com/", std::nullopt, ""},
      {"a=1; Domain=com", "http://www.example.com/", std::nullopt, ""},
      {"a=1; Domain=localhost", "http://localhost/", ".localhost", "/"},
      {"a=1; Domain=0.0.1", "http://127.0.0.1/", std::nullopt, ""},
      {"a=1; Domain=127.0.0.1", "http://127.0.0.1/", "127.0.0.1", "/"},
      {"a=1; Secure", "http://www.example.com/", std::nullopt, ""},
      {"a=1; Secure", "https://www.example.com/", "www.example.com", "/"},
      {"=1", "http://www.example.com/", std::nullopt, ""},
      {"novalue", "http://www.example.com/", std::nullopt, ""},
      {"a=1\x01", "http://www.example.com/", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    std::optional<HTTPCookie> cookie = parseSetCookie(c.header, url(c.from), kNow);
    ASSERT_EQ(cookie.has_value(), c.domain.has_value());
    if (!cookie) continue;
    EXPECT_EQ(cookie->domain, *c.domain);
    EXPECT_EQ(cookie->path, c.path);
  }
}

TEST(SetCookieTest, AttributesAndExpiry) {
  const URL from = url("https://example.com/");
  std::optional<HTTPCookie> cookie = parseSetCookie(
      " id = a b ; HttpOnly; secure; Expires=Wed, 21-Oct-2015 07:28:00 GMT", from, kNow);
  ASSERT_TRUE(cookie);
  EXPECT_EQ(cookie->name, "id");
  EXPECT_EQ(cookie->value, "a b");
  EXPECT_TRUE(cookie->isHTTPOnly);
  EXPECT_TRUE(cookie->isSecure);
  EXPECT_EQ(cookie->expiresDate, Date{1445412480});
  // Max-Age wins over Expires and counts from now; zero or less is already past.
  EXPECT_EQ(parseSetCookie("a=1; Max-Age=60; Expires=Wed, 21-Oct-2015 07:28:00 GMT", from, kNow)
                ->expiresDate,
            Date{kNow.secondsSince1970 + 60});
  EXPECT_LT(parseSetCookie("a=1; Max-Age=0", from, kNow)->expiresDate, kNow);
  EXPECT_LT(parseSetCookie("a=1; Max-Age=-5", from, kNow)->expiresDate, kNow);
  EXPECT_TRUE(parseSetCookie("a=1; Max-Age=99999999999999999999999", from, kNow)->expiresDate);
  EXPECT_TRUE(parseSetCookie("a=1; Max-Age=soon", from, kNow)->isSessionOnly());
  EXPECT_TRUE(parseSetCookie("a=1; Expires=garbage", from, kNow)->isSessionOnly());
  EXPECT_EQ(cookieHeaderValue({*cookie, cookieNamed("b", "2", "example.com")}), "id=a b; b=2");
}

TEST(HTTPCookieStorageTest, MatchesHostPathAndScheme) {
  ManualClock clock(kNow);
  HTTPCookieStorage jar;
  const auto cookie = [](const char* name, const char* domain, const char* path, bool secure) {
    HTTPCookie made = cookieNamed(name, "v", domain);
    made.path = path;
    made.isSecure = secure;
    return made;
  };
  jar.setCookie(cookie("host", "example.com", "/", false));
  jar.setCookie(cookie("domain", ".example.com", "/", false));
  jar.setCookie(cookie("docs", "example.com", "/docs", false));
  jar.setCookie(cookie("secure", "example.com", "/", true));
  HTTPCookie old = cookie("old", "example.com", "/", false);
  old.expiresDate = Date{kNow.secondsSince1970 + 10};
  jar.setCookie(old);

  const auto names = [&](const char* where) {
    std::string result;
    for (const HTTPCookie& c : jar.cookiesForURL(url(where))) result += c.name + " ";
    return result;
  };
  EXPECT_EQ(names("https://example.com/docs/a"), "host domain docs secure old ");
  EXPECT_EQ(names("http://example.com/docsx"), "host domain old ");
  EXPECT_EQ(names("http://www.example.com/docs"), "domain ");
  EXPECT_EQ(names("http://badexample.com/"), "");
  clock.advanceSeconds(11);
  EXPECT_EQ(names("http://example.com/"), "host domain ");

  // Same name, domain and path replace; an expired one deletes.
  HTTPCookie replaced = cookie("host", "example.com", "/", false);
  replaced.value = "new";
  jar.setCookie(replaced);
  EXPECT_EQ(jar.cookiesForURL(url("http://example.com/")).back().value, "new");
  replaced.expiresDate = Date{kNow.secondsSince1970};
  jar.setCookie(replaced);
  EXPECT_EQ(names("http://example.com/"), "domain ");

  jar.setCookieAcceptPolicy(HTTPCookieAcceptPolicy::OnlyFromMainDocumentDomain);
  jar.setCookies({cookie("third", "ads.test", "/", false)}, url("http://ads.test/"),
                 url("http://example.com/"));
  jar.setCookies({cookie("first", "example.com", "/", false)}, url("http://www.example.com/"),
                 url("http://example.com/"));
  EXPECT_EQ(names("http://example.com/"), "domain first ");
}

}  // namespace
}  // namespace platform::net
