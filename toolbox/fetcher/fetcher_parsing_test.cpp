#include <gtest/gtest.h>

#include "toolbox/fetcher/retry_after.h"
#include "toolbox/fetcher/session_identifier.h"

namespace {

TEST(RetryAfterTest, SecondsOrDateNeverNegative) {
  const platform::Date now{784111777};  // Sun, 06 Nov 1994 08:49:37 GMT
  struct Case {
    const char* value;
    double seconds;
  };
  const Case cases[] = {
      {"120", 120},
      {"  42 seconds", 42},
      {"+7", 7},
      {"-5", 0},
      {"soon", 0},
      {"", 0},
      {"99999999999999999999999", 9223372036854775807.0},
      {"Sun, 06 Nov 1994 08:50:37 GMT", 60},
      {"Sun, 06 Nov 1994 08:48:37 GMT", 0},
      {"Sunday, 06-Nov-94 08:49:47 GMT", 10},
  };
  for (const Case& c : cases) EXPECT_EQ(retryAfterSeconds(c.value, now), c.seconds) << c.value;
}

TEST(SessionIdentifierTest, MetadataRoundTripsAndMalformedGivesNothing) {
  const platform::Value metadata =
      platform::Value::dictionary({{"K", "V"}, {"_destURL", "file:///tmp/d"}});
  const std::string made = makeSessionIdentifier("ABC-1", metadata);
  EXPECT_EQ(made.rfind("com.zorova.ZTMSessionFetcher_ABC-1_{", 0), 0u);
  std::optional<SessionIdentifierParts> parts = parseSessionIdentifier(made);
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->uuid, "ABC-1");
  EXPECT_EQ(parts->metadata, metadata);
  EXPECT_EQ(makeSessionIdentifier("ABC-1", platform::Value::dictionary()),
            "com.zorova.ZTMSessionFetcher_ABC-1");

  for (const char* bad :
       {"com.zorova.ZTMSessionFetcher_ABC-1", "com.zorova.ZTMSessionFetcher__{}", "_ABC_{}",
        "com.zorova.ZTMSessionFetcher_ABC_", "x_ABC_[1]", "x_ABC_{\"a\":", "x_ABC_\n{}"}) {
    EXPECT_FALSE(parseSessionIdentifier(bad)) << bad;
  }
  // The metadata ends at a line feed.
  EXPECT_TRUE(parseSessionIdentifier("x_ABC_{}\ntrailing"));
}

}  // namespace
