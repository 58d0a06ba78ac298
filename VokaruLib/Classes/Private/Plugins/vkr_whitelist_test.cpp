#include "VokaruLib/Classes/Private/Plugins/vkr_whitelist.h"

#include <gtest/gtest.h>

#include "platform/testing/log_capture.h"

namespace {

platform::URL url(const std::string& text) {
  platform::Result<platform::URL> parsed = platform::URL::parse(text);
  EXPECT_TRUE(parsed.ok()) << text;
  return parsed.ok() ? *parsed : platform::URL();
}

TEST(VKRWhitelistTest, EntriesAllowTheURLsTheyName) {
  struct Case {
    std::vector<std::string> entries;
    std::string url;
    bool allowed;
  };
  const std::vector<Case> cases = {
      // Subdomain wildcards match the name and its subdomains, with their scheme only.
      {{"https://*.hosta/*"}, "https://x.y.hosta/p", true},
      {{"https://*.hosta/*"}, "https://hosta", true},
      {{"https://*.hosta/*"}, "https://HOSTA/p", true},
      {{"https://*.hosta/*"}, "http://hosta", false},
      {{"https://*.hosta/*"}, "https://badhosta", false},
      {{"https://*.hosta/*"}, "https://hosta.evil/p", false},
      // Without a scheme: http and https, any port, any path.
      {{"hosta"}, "http://hosta/anything", true},
      {{"hosta"}, "https://hosta:8443/", true},
      {{"hosta"}, "ftp://hosta/", false},
      // Ports must be written in the URL to match.
      {{"http://hosta:8080/*"}, "http://hosta:8080/a", true},
      {{"http://hosta:8080/*"}, "http://hosta/a", false},
      {{"http://hosta:8080/*"}, "http://hosta:8081/a", false},
      // Paths: "*" matches anything, "/dir/*" also the folder itself; case matters.
      {{"https://hosta/dir/*"}, "https://hosta/dir", true},
      {{"https://hosta/dir/*"}, "https://hosta/dir/x/y", true},
      {{"https://hosta/dir/*"}, "https://hosta/dirx", false},
      {{"https://hosta/dir/*"}, "https://hosta/DIR/x", false},
      {{"https://hosta/a.html"}, "https://hosta/a.html", true},
      {{"https://hosta/a.html"}, "https://hosta/aXhtml", false},  // "." is no wildcard
      {{"https://hosta/*.png"}, "https://hosta/img/logo.png", true},
      // Other schemes.
      {{"tel:*"}, "tel:123", true},
      {{"tel:*"}, "sms:123", false},
      {{"*"}, "gopher://anything/at/all", true},
      {{"file:///*"}, "file:///etc/x", true},
      {{}, "file:///etc/x", false},
      {{"file://"}, "file:///home/u/app/www/index.html", true},
      {{"content:"}, "content://media/1", true},
      {{"HTTPS://hosta"}, "https://hosta/", true},
      // A URL with an upper-case scheme is judged as lower case.
      {{"https://hosta"}, "HTTPS://hosta/", true},
      // Entries after "*" change nothing; "*" after others allows everything.
      {{"https://hosta", "*"}, "mailto:a@b.c", true},
      // Several entries: any may allow.
      {{"https://hosta", "tel:*"}, "tel:5", true},
      {{"https://hosta", "tel:*"}, "https://hostb/", false},
  };
  platform::testing::LogCapture quiet;
  for (const Case& c : cases) {
    VKRWhitelist whitelist(c.entries);
    EXPECT_EQ(whitelist.URLIsAllowed(url(c.url)), c.allowed)
        << c.url << " with " << (c.entries.empty() ? "nothing" : c.entries.front());
  }
}

TEST(VKRWhitelistTest, SchemesAreAllowedByListOrByBeingTheWebs) {
  VKRWhitelist whitelist({"tel:*", "https://hosta"});
  for (const char* scheme : {"http", "https", "ftp", "ftps", "tel"}) {
    EXPECT_TRUE(whitelist.schemeIsAllowed(scheme)) << scheme;
  }
  EXPECT_FALSE(whitelist.schemeIsAllowed("mailto"));
  EXPECT_TRUE(VKRWhitelist({"*:*"}).schemeIsAllowed("mailto"));
  EXPECT_TRUE(VKRWhitelist({"*"}).schemeIsAllowed("mailto"));
}

TEST(VKRWhitelistTest, RejectionsAreLoggedWithTheFormatAndOnlyWhenAsked) {
  platform::testing::LogCapture log;
  VKRWhitelist whitelist({"https://hosta"});
  EXPECT_FALSE(whitelist.URLIsAllowed(url("mailto:a@b.c")));
  whitelist.setWhitelistRejectionFormatString("rejected <%@> here");
  EXPECT_FALSE(whitelist.URLIsAllowed(url("https://hostb/x")));
  EXPECT_FALSE(whitelist.URLIsAllowed(url("https://hostb/y"), false));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "ERROR whitelist rejection: url='mailto:a@b.c'",
                             "rejected <https://hostb/x> here",
                         }));
  log.clear();
  VKRWhitelist everything({"*"});
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"Unlimited access to network resources"}));
  EXPECT_FALSE(everything.whitelist().has_value());
}

TEST(VKRWhitelistTest, PatternsBecomeAnchoredExpressions) {
  using P = VKRWhitelistPattern;
  EXPECT_EQ(P::regexFromPattern("a.b", false), "a\\.b$");
  EXPECT_EQ(P::regexFromPattern("/foo/*", true), "\\/foo(\\/.*)?$");
  EXPECT_EQ(P::regexFromPattern("/*.png", true), "\\/.*\\.png$");
  EXPECT_EQ(P::regexFromPattern("a*b", false), "a\\*b$");
  EXPECT_EQ(P::regexFromPattern("(x)|[y]^$+?{}\\", false),
            "\\(x\\)\\|\\[y]\\^\\$\\+\\?\\{\\}\\\\$");
}

TEST(VKRWhitelistTest, IPv4AddressesHaveFourPartsUpTo255) {
  struct Case {
    const char* text;
    bool address;
  };
  const Case cases[] = {{"127.0.0.1", true},  {"10.*.*.1", true}, {"255.255.255.255", true},
                        {"256.0.0.1", false}, {"1.2.3", false},   {"1.2.3.4.5", false},
                        {"a.b.c.d", false},   {"1..2.3", false},  {"-1.2.3.4", false}};
  for (const Case& c : cases) EXPECT_EQ(VKRWhitelist::isIPv4Address(c.text), c.address) << c.text;
}

}  // namespace
