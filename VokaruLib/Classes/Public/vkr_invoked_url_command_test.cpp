#include "VokaruLib/Classes/Public/vkr_invoked_url_command.h"

#include <gtest/gtest.h>

#include "platform/foundation/json.h"

namespace {

using platform::Value;

VKRInvokedUrlCommand commandFrom(std::string_view entryJSON) {
  platform::Result<VKRInvokedUrlCommand> command =
      VKRInvokedUrlCommand::commandFromJson(*platform::parseJSON(entryJSON));
  EXPECT_TRUE(command.ok()) << entryJSON;
  return *command;
}

TEST(VKRInvokedUrlCommandTest, ReadsTheFourElementsOfAnEntry) {
  VKRInvokedUrlCommand command = commandFrom(R"(["Device1","Device","getDeviceInfo",[1,"a"]])");
  EXPECT_EQ(command.callbackId(), "Device1");
  EXPECT_EQ(command.className(), "Device");
  EXPECT_EQ(command.methodName(), "getDeviceInfo");
  EXPECT_EQ(command.arguments(), (Value::Array{1, "a"}));

  EXPECT_FALSE(commandFrom(R"([null,"Device","getDeviceInfo",[]])").callbackId().has_value());
}

TEST(VKRInvokedUrlCommandTest, RejectsEntriesOfTheWrongShapeOrTypes) {
  const char* entries[] = {
      R"({"a":1})",
      R"(["id","Device","getInfo"])",
      R"(["id","Device","getInfo",[],"extra"])",
      R"([7,"Device","getInfo",[]])",
      R"(["id",null,"getInfo",[]])",
      R"(["id","Device",["getInfo"],[]])",
      R"(["id","Device","getInfo",{"0":1}])",
      R"(["id","Device","getInfo",null])",
  };
  for (const char* entry : entries) {
    platform::Result<VKRInvokedUrlCommand> command =
        VKRInvokedUrlCommand::commandFromJson(*platform::parseJSON(entry));
    ASSERT_FALSE(command.ok()) << entry;
    EXPECT_EQ(command.error().domain(), kVKRCommandErrorDomain);
  }
  EXPECT_FALSE(VKRInvokedUrlCommand::commandFromJson(Value("text")).ok());
}

TEST(VKRInvokedUrlCommandTest, DecodesTopLevelArrayBuffersOnly) {
  VKRInvokedUrlCommand command = commandFrom(
      R"(["id","S","a",[{"VKRType":"ArrayBuffer","data":"AAEC"},
                        [{"VKRType":"ArrayBuffer","data":"AAEC"}],
                        {"VKRType":"ArrayBuffer","data":"not base64!"},
                        {"VKRType":"ArrayBuffer"},
                        "AAEC"]])");
  ASSERT_EQ(command.arguments().size(), 5u);
  EXPECT_EQ(command.argumentAtIndex(0), Value(platform::Bytes{0, 1, 2}));
  EXPECT_TRUE(command.argumentAtIndex(1).isArray());
  EXPECT_TRUE(command.argumentAtIndex(1).at(0).isDictionary());
  // Undecodable or incomplete forms are kept as they came.
  EXPECT_TRUE(command.argumentAtIndex(2).isDictionary());
  EXPECT_TRUE(command.argumentAtIndex(3).isDictionary());
  EXPECT_EQ(command.argumentAtIndex(4), Value("AAEC"));
}

TEST(VKRInvokedUrlCommandTest, ArgumentAtIndexFallsBackToTheDefault) {
  using Class = VKRInvokedUrlCommand::ArgumentClass;
  VKRInvokedUrlCommand two = commandFrom(R"(["id","S","a",["1",null]])");
  EXPECT_TRUE(two.argumentAtIndex(5).isNull());
  EXPECT_EQ(two.argumentAtIndex(0), Value("1"));
  EXPECT_EQ(two.argumentAtIndex(1, "x"), Value("x"));
  EXPECT_EQ(two.argumentAtIndex(9, "x"), Value("x"));
  EXPECT_EQ(two.argumentAtIndex(0, "x", Class::Number), Value("x"));
  EXPECT_EQ(two.argumentAtIndex(0, "x", Class::String), Value("1"));

  VKRInvokedUrlCommand kinds = commandFrom(R"(["id","S","a",[true,2.5,{},[]]])");
  EXPECT_EQ(kinds.argumentAtIndex(0, 0, Class::Number), Value(true));
  EXPECT_EQ(kinds.argumentAtIndex(1, 0, Class::Number), Value(2.5));
  EXPECT_TRUE(kinds.argumentAtIndex(2, 0, Class::Dictionary).isDictionary());
  EXPECT_EQ(kinds.argumentAtIndex(2, 0, Class::Array), Value(0));
  EXPECT_TRUE(kinds.argumentAtIndex(3, 0, Class::Array).isArray());
  EXPECT_EQ(kinds.argumentAtIndex(3, 0, Class::Data), Value(0));
}

}  // namespace
