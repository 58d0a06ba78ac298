#include "toolbox/fetcher/session_cookie_storage.h"

#include <gtest/gtest.h>

#include "platform/dispatch/clock.h"

namespace {

using platform::net::HTTPCookie;
using Policy = platform::net::HTTPCookieAcceptPolicy;

platform::URL url(const std::string& text) { return platform::URL::parse(text).value(); }

HTTPCookie cookie(const std::string& name, const std::string& domain, const std::string& path = "/",
                  bool secure = false) {
  HTTPCookie made;
  made.name = name;
  made.value = "v";
  made.domain = domain;
  made.path = path;
  made.isSecure = secure;
  return made;
}

std::string namesFor(const ZSDK_ZTMSessionCookieStorage& jar, const std::string& where) {
  std::string names;
  for (const HTTPCookie& c : jar.cookiesForURL(url(where))) names += c.name + " ";
  return names;
}

TEST(SessionCookieStorageTest, DomainPathAndSchemeMatching) {
  ZSDK_ZTMSessionCookieStorage jar;
  jar.setCookie(cookie("bare", "example.com"));
  jar.setCookie(cookie("dotted", ".example.com"));
  jar.setCookie(cookie("docs", "example.com", "/docs"));
  jar.setCookie(cookie("secure", "example.com", "/", true));
  struct Case {
    const char* url;
    const char* names;
  };
  const Case cases[] = {
      {"https://example.com/", "bare dotted secure "},
      {"http://example.com/", "bare dotted "},
      {"http://www.example.com/", "bare dotted "},  // a domain covers the hosts under it
      {"http://badexample.com/", ""},               // but not a host that merely ends with it
      {"http://example.com/docs", "bare dotted docs "},
      {"http://example.com/docsx/y", "bare dotted docs "},  // plain prefix
      {"http://example.com/doc", "bare dotted "},
  };
  for (const Case& c : cases) EXPECT_EQ(namesFor(jar, c.url), c.names) << c.url;
}

TEST(SessionCookieStorageTest, LocalHostsShareTheirCookies) {
  ZSDK_ZTMSessionCookieStorage jar;
  for (const char* domain : {"localhost", "127.0.0.1", "::1", "localhost.local", "example.com"}) {
    jar.setCookie(cookie(std::string("c-") + domain, domain));
  }
  EXPECT_EQ(namesFor(jar, "http://127.0.0.1:8080/"),
            "c-localhost c-127.0.0.1 c-::1 c-localhost.local ");
  EXPECT_EQ(namesFor(jar, "http://LOCALHOST/"), "c-localhost c-127.0.0.1 c-::1 c-localhost.local ");
}

TEST(SessionCookieStorageTest, StoreRulesAndExpiry) {
  platform::ManualClock clock;
  ZSDK_ZTMSessionCookieStorage jar;
  jar.setCookie(cookie("a", "example.com"));
  HTTPCookie replaced = cookie("a", "example.com");
  replaced.value = "new";
  jar.setCookie(replaced);
  ASSERT_EQ(jar.cookies().size(), 1u);
  EXPECT_EQ(jar.cookies()[0].value, "new");
  EXPECT_EQ(jar.cookieMatchingCookie(cookie("a", "example.com"))->value, "new");

  // An expired cookie removes the older one and is not stored.
  HTTPCookie expired = cookie("a", "example.com");
  expired.expiresDate = platform::Date{platform::now().secondsSince1970 - 1};
  jar.setCookie(expired);
  EXPECT_TRUE(jar.cookies().empty());

  HTTPCookie shortLived = cookie("b", "example.com");
  shortLived.expiresDate = platform::Date{platform::now().secondsSince1970 + 10};
  jar.setCookie(shortLived);
  EXPECT_EQ(namesFor(jar, "http://example.com/"), "b ");
  clock.advanceSeconds(11);
  EXPECT_EQ(namesFor(jar, "http://example.com/"), "");

  jar.setCookie(cookie("", "example.com"));  // no name: ignored
  jar.setCookie(cookie("x", ""));            // no domain: ignored
  EXPECT_TRUE(jar.cookies().empty());
  jar.setCookie(cookie("x", "example.com"));
  jar.deleteCookie(cookie("x", "example.com"));
  EXPECT_TRUE(jar.cookies().empty());
}

TEST(SessionCookieStorageTest, AcceptPolicies) {
  ZSDK_ZTMSessionCookieStorage jar;
  jar.setCookieAcceptPolicy(Policy::Never);
  jar.setCookie(cookie("never", "example.com"));
  jar.setCookies({cookie("never2", "example.com")}, url("http://example.com/"), std::nullopt);
  EXPECT_TRUE(jar.cookies().empty());

  jar.setCookieAcceptPolicy(Policy::OnlyFromMainDocumentDomain);
  jar.setCookies({cookie("first", "www.example.com")}, url("http://www.example.com/"),
                 url("http://example.com/"));
  jar.setCookies({cookie("third", "ads.test")}, url("http://ads.test/"),
                 url("http://example.com/"));
  jar.setCookies({cookie("nomain", "example.com")}, url("http://example.com/"), std::nullopt);
  EXPECT_EQ(jar.cookies().size(), 1u);
  EXPECT_EQ(jar.cookies()[0].name, "first");
  EXPECT_EQ(jar.cookieAcceptPolicy(), Policy::OnlyFromMainDocumentDomain);
  jar.removeAllCookies();
  EXPECT_TRUE(jar.cookies().empty());
}

}  // namespace
