// What the page's options ask for, and what the page receives for a platform payload.
#include <gtest/gtest.h>

#include "Plugins/vokaru-plugin-push/push_notification_message.h"
#include "Plugins/vokaru-plugin-push/push_registration_options.h"
#include "platform/foundation/json.h"

namespace {

using platform::Value;
using platform::ui::UserNotificationActionContext;
using platform::ui::UserNotificationActivationMode;

Value json(const std::string& text) {
  platform::Result<Value> parsed = platform::parseJSON(text);
  EXPECT_TRUE(parsed.ok()) << text;
  return parsed.ok() ? *parsed : Value();
}

std::string jsonOf(const platform::Dictionary& dictionary) {
  return *platform::toJSON(Value(dictionary));
}

TEST(PushOptionsTest, InitOptionsAsATable) {
  struct Case {
    const char* ios;
    unsigned types;
    bool clearBadge;
    bool sandbox;
  };
  const Case cases[] = {
      {R"({})", 0, false, false},
      {R"({"badge": "true", "sound": true, "alert": "false"})", 3, false, false},
      {R"({"badge": true, "sound": "1", "alert": 1})", 7, false, false},
      {R"({"badge": "yes", "sound": "0", "alert": 0})", 1, false, false},
      {R"({"badge": false, "sound": "no", "alert": null})", 0, false, false},
      {R"({"alert": "TRUE", "sound": 2.5})", 6, false, false},
      {R"({"clearBadge": true})", 0, true, false},
      {R"({"clearBadge": "true"})", 0, true, false},
      {R"({"clearBadge": "false"})", 0, false, false},
      {R"({"clearBadge": 0})", 0, false, false},
      // The sandbox only counts with a sender id.
      {R"({"zcmSandbox": true})", 0, false, false},
      {R"({"zcmSandbox": true, "senderID": ""})", 0, false, false},
      {R"({"zcmSandbox": "true", "senderID": "42"})", 0, false, true},
      {R"({"zcmSandbox": "false", "senderID": "42"})", 0, false, false},
      // Options of the wrong kind count as absent.
      {R"({"badge": {}, "alert": [1], "senderID": 42, "zcmSandbox": true})", 0, false, false},
  };
  for (const Case& c : cases) {
    const PushRegistrationOptions options = PushRegistrationOptions::fromIOSOptions(json(c.ios));
    EXPECT_EQ(options.types, c.types) << c.ios;
    EXPECT_EQ(options.clearBadge, c.clearBadge) << c.ios;
    EXPECT_EQ(options.sandbox, c.sandbox) << c.ios;
  }
  EXPECT_EQ(PushRegistrationOptions::fromIOSOptions(Value()).types, 0u);
}

TEST(PushOptionsTest, CategoriesTopicsAndSenderID) {
  const PushRegistrationOptions options = PushRegistrationOptions::fromIOSOptions(json(R"({
    "senderID": "1234",
    "topics": ["news", 7, "sport"],
    "categories": {
      "invite": {
        "yes": {"callback": "accept", "title": "Accept", "foreground": true, "destructive": "false"},
        "maybe": {"callback": "later", "title": "Later", "foreground": "false"},
        "no": "not a dictionary"
      },
      "empty": 5
    }
  })"));
  EXPECT_EQ(options.senderID, "1234");
  EXPECT_EQ(options.topics, (std::vector<std::string>{"news", "sport"}));
  ASSERT_EQ(options.categories.size(), 2u);
  const auto& invite = options.categories[0];
  EXPECT_EQ(invite.identifier, "invite");
  const auto& full = invite.actionsForContext(UserNotificationActionContext::Default);
  const auto& minimal = invite.actionsForContext(UserNotificationActionContext::Minimal);
  ASSERT_EQ(full.size(), 2u);
  EXPECT_EQ(full[0].identifier, "accept");
  EXPECT_EQ(full[0].title, "Accept");
  EXPECT_EQ(full[0].activationMode, UserNotificationActivationMode::Foreground);
  EXPECT_FALSE(full[0].destructive);
  EXPECT_EQ(full[1].identifier, "later");
  EXPECT_EQ(full[1].activationMode, UserNotificationActivationMode::Background);
  ASSERT_EQ(minimal.size(), 1u);
  EXPECT_EQ(minimal[0].identifier, "accept");
  EXPECT_EQ(options.categories[1].identifier, "empty");
  EXPECT_TRUE(options.categories[1].defaultActions.empty());

  EXPECT_TRUE(
      PushRegistrationOptions::fromIOSOptions(json(R"({"categories": [1]})")).categories.empty());
  EXPECT_TRUE(pushTopicNames(Value("news")).empty());
}

TEST(PushMessageTest, PayloadsBecomeThePagesDictionary) {
  struct Case {
    const char* payload;
    bool foreground;
    bool coldstart;
    const char* expected;
  };
  const Case cases[] = {
      {R"({"aps": {"alert": "Hello", "badge": 3}, "notId": 12})", true, false,
       R"({"message":"Hello","count":3,"additionalData":{"notId":12,"foreground":true,"coldstart":false}})"},
      {R"({"aps": {"alert": {"title": "T", "body": "B", "loc-key": "K"}, "sound": "ding",
                   "content-available": 1, "image": "x.png"}, "custom": {"a": [1]}})",
       false, true,
       R"({"title":"T","message":"B","sound":"ding","image":"x.png","additionalData":{"loc-key":"K","content-available":1,"custom":{"a":[1]},"foreground":false,"coldstart":true}})"},
      // The later of two titles wins.
      {R"({"aps": {"alert": {"title": "first"}, "title": "second"}})", false, false,
       R"({"title":"second","additionalData":{"foreground":false,"coldstart":false}})"},
      // A data message without "aps", and an "aps" of the wrong kind, reach the page as they came.
      {R"({"from": "1234", "score": "5x1", "aps": "odd"})", false, false,
       R"({"additionalData":{"from":"1234","score":"5x1","aps":"odd","foreground":false,"coldstart":false}})"},
  };
  for (const Case& c : cases) {
    const Value payload = json(c.payload);
    ASSERT_TRUE(payload.isDictionary()) << c.payload;
    EXPECT_EQ(jsonOf(pushNotificationMessage(*payload.dictionaryIf(), c.foreground, c.coldstart)),
              c.expected);
  }
}

}  // namespace
