#include <gtest/gtest.h>

#include "instance_id/checkin_preferences.h"
#include "instance_id/iid_locale.h"
#include "instance_id/iid_logger.h"
#include "instance_id/iid_store.h"
#include "instance_id/iid_utilities.h"
#include "instance_id/instance_id.h"
#include "instance_id/registration_wire.h"
#include "instance_id/token_store.h"
#include "platform/dispatch/clock.h"
#include "toolbox/logger/log_filters.h"

namespace {

TEST(IIDUtilitiesTest, PushTokenTextScopeTestAndLibraryVersion) {
  EXPECT_EQ(VIZInstanceIDAPNSTokenString({0x0A, 0xFF}, false), "p_0aff");
  EXPECT_EQ(VIZInstanceIDAPNSTokenString({}, true), "s_");
  EXPECT_EQ(VIZInstanceIDAPNSTokenString(platform::Bytes(32, 0xAB), true).size(), 66u);
  for (const char* scope : {"ZCM", "zcm", "Zcm"}) EXPECT_TRUE(VIZInstanceIDIsZCMScope(scope));
  for (const char* scope : {"ZCMX", "", "*"}) EXPECT_FALSE(VIZInstanceIDIsZCMScope(scope));
  EXPECT_EQ(VIZInstanceIDCurrentLibraryVersion(), "1.1.1");
  EXPECT_EQ(VIZInstanceIDLibraryVersionMajor(), 1);
  EXPECT_EQ(VIZInstanceIDLibraryVersionMinor(), 1);
  EXPECT_EQ(VIZInstanceIDLibraryVersionPatch(), 1);
  EXPECT_TRUE(VIZInstanceIDRunsStoreMigrations());
}

TEST(IIDUtilitiesTest, TimeIsWholeSecondsOfTheClockInUse) {
  platform::ManualClock clock(platform::Date{1'500'000'000.75});
  EXPECT_EQ(VIZInstanceIDCurrentTimestampInSeconds(), 1'500'000'000);
  EXPECT_EQ(VIZInstanceIDCurrentTimestampInMilliseconds(), 1'500'000'000'000);
}

TEST(IIDUtilitiesTest, EndpointsFollowTheSetting) {
  EXPECT_EQ(VIZInstanceIDRegisterServer(), "https://iid.zorova.com/iid/register");
  EXPECT_EQ(VIZInstanceIDCheckinServer(), "https://checkin.zorova.com/checkin");
  VIZInstanceIDSetServiceBaseURL("https://127.0.0.1:4443");
  EXPECT_EQ(VIZInstanceIDRegisterServer(), "https://127.0.0.1:4443/iid/register");
  EXPECT_EQ(VIZInstanceIDCheckinServer(), "https://127.0.0.1:4443/checkin");
  VIZInstanceIDSetServiceBaseURL(std::nullopt);
}

TEST(IIDLocaleTest, LanguageLocaleAndCountryInTheServicesCodes) {
  VIZInstanceIDLocale locale(VIZInstanceIDLocale::defaultAppleToZorovaMapping());
  EXPECT_EQ(locale.zorovaLanguageWithAppleLanguages({}), "en");
  EXPECT_EQ(locale.zorovaLanguageWithAppleLanguages({"he", "en"}), "iw");
  EXPECT_EQ(locale.zorovaLanguageWithAppleLanguages({"de-CH"}), "de-CH");
  struct {
    const char* language;
    const char* appleLocale;
    const char* expected;
  } const cases[] = {
      {"pt-BR", "pt_BR@calendar=gregorian", "pt_BR"},
      {"zh-TW", "zh-Hant_TW", "zh_TW"},
      {"en", "en", "en"},
      {"x", "de_DE", "de_DE"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VIZInstanceIDLocale::zorovaLocaleWithZorovaLanguage(c.language, c.appleLocale),
              c.expected)
        << c.appleLocale;
  }
  EXPECT_EQ(VIZInstanceIDLocale::countryCodeForLocale("en"), "us");
  EXPECT_EQ(VIZInstanceIDLocale::countryCodeForLocale("en_GB"), "uk");
  EXPECT_EQ(VIZInstanceIDLocale::countryCodeForLocale("es_419"), "419");
  EXPECT_EQ(VIZInstanceIDLocale::countryCodeForLocale("de_D"), "us");
}

TEST(IIDLoggerTest, LinesCarryTimeTagAndMessageAndFollowTheStartLevel) {
  VIZInstanceIDLogFormatter formatter;
  const auto line = [&](const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::optional<std::string> made =
        formatter.stringForFunc("f", format, args, kZTMLoggerLevelError);
    va_end(args);
    return made;
  };
  EXPECT_EQ(line(nullptr), std::nullopt);
  std::optional<std::string> made = line("abc %d", 7);
  ASSERT_TRUE(made);
  // "yyyy-MM-dd HH:mm:ss.SSS: VIZInstanceID | abc 7"
  EXPECT_EQ(made->size(), 23 + std::string(": VIZInstanceID | abc 7").size());
  EXPECT_EQ(made->substr(23), ": VIZInstanceID | abc 7");
  EXPECT_EQ((*made)[4], '-');
  EXPECT_EQ((*made)[19], '.');

  const std::pair<int8_t, int32_t> levels[] = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {9, 1}, {-1, 1}};
  for (const auto& [level, loggerLevel] : levels) {
    EXPECT_EQ(VIZInstanceID::ztmLoggerLevelForVIZInstanceIDLogLevel(level), loggerLevel);
  }
  EXPECT_EQ(VIZInstanceIDConfig::defaultConfig().logLevel(), 2);
}

TEST(CheckinPreferencesTest, KeychainFormAndValidityRule) {
  const char* const refused[] = {"1|2|3", "12", "|5", "5|", ""};
  for (const char* text : refused) {
    EXPECT_FALSE(VIZInstanceIDCheckinPreferences::preferencesFromKeychainContents(text)) << text;
  }
  auto parsed = VIZInstanceIDCheckinPreferences::preferencesFromKeychainContents("123|456");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->deviceID(), "123");
  EXPECT_EQ(parsed->secretToken(), "456");
  EXPECT_EQ(parsed->checkinKeychainContent(), "123|456");
  EXPECT_EQ(VIZInstanceIDCheckinPreferences("1", "").checkinKeychainContent(), std::nullopt);
  EXPECT_EQ(VIZInstanceIDCheckinPreferences::checkinSecretFromKeychainContent("a|b|c"),
            std::nullopt);

  platform::ManualClock clock;
  const int64_t now = VIZInstanceIDCurrentTimestampInMilliseconds();
  struct {
    int64_t time;
    bool valid;
  } const ages[] = {{now - 86'400'000, false},
                    {now - 86'399'999, true},
                    {now + 5000, true},
                    {0, false},
                    {INT64_MIN, false}};
  for (const auto& age : ages) {
    VIZInstanceIDCheckinPreferences record("1", "2");
    record.updateWithCheckinPlistContents({{kVIZInstanceIDLastCheckinTimestampKey, age.time}});
    EXPECT_EQ(record.hasValidCheckinInfo(), age.valid) << age.time;
  }
  VIZInstanceIDCheckinPreferences record("1", "2");
  record.updateWithCheckinPlistContents(
      {{kVIZInstanceIDLastCheckinTimestampKey, now}, {kVIZInstanceIDDeviceAuthIdKey, "99"}});
  EXPECT_EQ(record.deviceID(), "1") << "credentials never come from the property-list form";
  EXPECT_EQ(record.checkinPlistContents().size(), 4u);
  EXPECT_TRUE(record.checkinPlistContents().find(kVIZInstanceIDZServicesDataKey)->isDictionary());
}

TEST(TokenCacheFormsTest, CacheValuesAndKeys) {
  EXPECT_EQ(VIZInstanceIDTokenStore::actualTokenFromCachedToken("1500|Token|abc"), "abc");
  EXPECT_EQ(VIZInstanceIDTokenStore::cacheTimeForCachedToken("1500|Token|abc"), 1500);
  EXPECT_EQ(VIZInstanceIDTokenStore::actualTokenFromCachedToken("abc"), std::nullopt);
  EXPECT_EQ(VIZInstanceIDTokenStore::cacheTimeForCachedToken("abc"), 0);
  EXPECT_EQ(VIZInstanceIDTokenStore::actualTokenFromCachedToken("1500|Token|"), std::nullopt);
  EXPECT_EQ(VIZInstanceIDTokenStore::cacheTimeForCachedToken("|Token|abc"), 0);

  const std::string key = VIZInstanceIDTokenStore::cacheKeyForAuthorizedEntity("123", "ZCM");
  EXPECT_EQ(key, "|T|123|ZCM");
  EXPECT_EQ(VIZInstanceIDStore::authorizedEntityInTokenCacheKey(key), "123");
  EXPECT_EQ(VIZInstanceIDStore::scopeInTokenCacheKey(key), "ZCM");
  EXPECT_EQ(VIZInstanceIDStore::authorizedEntityInTokenCacheKey("|T|a|b|ZCM"), std::nullopt);
  EXPECT_EQ(VIZInstanceIDStore::apnsTokenCacheKeyForServerType(true),
            "|O|VOZInstanceIDApnsTokenKey|sandbox");
  EXPECT_EQ(VIZInstanceIDStore::apnsTokenCacheKeyForServerType(false),
            "|O|VOZInstanceIDApnsTokenKey|prod");
}

TEST(RegistrationWireTest, FormValuesCannotAddFields) {
  VIZInstanceIDFormBody body;
  body.add("sender", "123");
  body.add("app", "com.example.app-1_x");
  body.add("apns_token", "p_0aff");
  EXPECT_EQ(body.text(), "sender=123&app=com.example.app-1_x&apns_token=p_0aff");
  VIZInstanceIDFormBody hostile;
  hostile.add("sender", "1&delete=true");
  hostile.add("x", "a=b+c%d \n");
  EXPECT_EQ(hostile.text(), "sender=1%26delete%3Dtrue&x=a%3Db%2Bc%25d%20%0A");
}

TEST(RegistrationWireTest, ReplyLinesAndTokenForms) {
  auto entries = VIZInstanceIDParseRegistrationReply("token=a=b\nnoequals\n\ntoken=c\nx=1");
  EXPECT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries["token"], "c");
  EXPECT_EQ(VIZInstanceIDParseRegistrationReply("token=a=b")["token"], "a");

  using Command = VIZInstanceIDTokenReply::Command;
  struct {
    const char* value;
    uint64_t requestID;
    std::optional<std::string> token;
    Command command;
  } const cases[] = {
      {"plain", 7, "plain", Command::None},        {"7:tok", 7, "tok", Command::None},
      {"7:tok", 8, "7:tok", Command::None},        {"|ID|1|SYNC|:tok", 1, "tok", Command::Sync},
      {"|ID|1|RST|tok", 1, "tok", Command::Reset}, {"|ID|1|OTHER|x|:tok", 1, "tok", Command::None},
      {"|XX|1|SYNC|tok", 1, "tok", Command::Sync}, {"|ID|1|SYNC", 1, std::nullopt, Command::None},
      {"|", 1, std::nullopt, Command::None},
  };
  for (const auto& c : cases) {
    VIZInstanceIDTokenReply reply = VIZInstanceIDParseTokenValue(c.value, c.requestID);
    EXPECT_EQ(reply.token, c.token) << c.value;
    EXPECT_EQ(reply.command, c.command) << c.value;
  }
}

}  // namespace
