#include "platform/foundation/value.h"

#include <gtest/gtest.h>

#include <limits>

namespace platform {
namespace {

TEST(ValueTest, TypesAndNumericReads) {
  EXPECT_TRUE(Value().isNull());
  EXPECT_TRUE(Value(nullptr).isNull());
  EXPECT_TRUE(Value(true).isBool());
  EXPECT_TRUE(Value(3).isInteger());
  EXPECT_TRUE(Value(3u).isInteger());
  EXPECT_TRUE(Value(2.5).isReal());
  EXPECT_TRUE(Value("x").isString());
  EXPECT_TRUE(Value(Bytes{1, 2}).isData());
  EXPECT_TRUE(Value(Date{5}).isDate());

  // Every number reads as every numeric kind; other types don't.
  EXPECT_EQ(Value(true).asInteger(), 1);
  EXPECT_EQ(Value(2.9).asInteger(), 2);
  EXPECT_EQ(Value(-2.9).asInteger(), -2);
  EXPECT_EQ(Value(1e300).asInteger(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(Value(7).asDouble(), 7.0);
  EXPECT_EQ(Value(0).asBool(), false);
  EXPECT_EQ(Value("1").asInteger(), std::nullopt);
  EXPECT_EQ(Value().intOr(9), 9);
  EXPECT_EQ(Value(5).stringOr("d"), "d");

  // An unsigned integer beyond the signed range is kept as a real, not wrapped.
  Value huge(std::numeric_limits<uint64_t>::max());
  EXPECT_TRUE(huge.isReal());
  EXPECT_GT(*huge.asDouble(), 1.8e19);
}

TEST(ValueTest, LookupsNeverFail) {
  Value v = Value::dictionary({{"a", Value::array({1, "two"})}, {"b", nullptr}});
  EXPECT_EQ(v["a"].at(1), Value("two"));
  EXPECT_TRUE(v["missing"].isNull());
  EXPECT_TRUE(v["a"].at(99).isNull());
  EXPECT_TRUE(v["a"]["not a dictionary"].isNull());
  EXPECT_TRUE(Value(3)["x"].at(0).isNull());
  EXPECT_EQ(v.size(), 2u);
  EXPECT_EQ(Value("text").size(), 0u);
}

TEST(ValueTest, MutationKeepsInsertionOrder) {
  Value v;
  EXPECT_TRUE(v.set("z", 1));
  EXPECT_TRUE(v.set("a", 2));
  EXPECT_TRUE(v.set("z", 3));  // replaced in place
  EXPECT_EQ(v.dictionaryIf()->keys(), (std::vector<std::string>{"z", "a"}));
  EXPECT_EQ(v["z"], Value(3));
  EXPECT_TRUE(v.remove("z"));
  EXPECT_FALSE(v.remove("z"));
  EXPECT_FALSE(v.append(1));  // a dictionary is not an array

  Value list;
  EXPECT_TRUE(list.append("x"));
  EXPECT_EQ(list, Value::array({"x"}));
  EXPECT_FALSE(Value("s").set("k", 1));
}

TEST(ValueTest, LargeDictionariesKeepOrderAndStayQuick) {
  // Enough keys that quadratic work would take minutes instead of a blink.
  constexpr int kKeys = 50000;
  Dictionary dict;
  for (int i = 0; i < kKeys; ++i) dict.set("k" + std::to_string(i), i);
  dict.set("k5", -5);  // replaced in place
  EXPECT_TRUE(dict.remove("k0"));
  EXPECT_FALSE(dict.remove("k0"));
  ASSERT_EQ(dict.size(), static_cast<size_t>(kKeys - 1));
  EXPECT_EQ(dict.begin()->first, "k1");
  EXPECT_EQ(*dict.find("k5"), Value(-5));
  EXPECT_EQ(*dict.find("k" + std::to_string(kKeys - 1)), Value(kKeys - 1));
  EXPECT_EQ(dict.find("k0"), nullptr);

  Dictionary copy = dict;
  EXPECT_EQ(copy, dict);
  copy.set("extra", 1);
  EXPECT_NE(copy, dict);
  EXPECT_EQ(dict.find("extra"), nullptr);
  copy.clear();
  EXPECT_EQ(copy.find("k1"), nullptr);

  // Removal from the middle keeps every later key findable, down to a small dictionary.
  Dictionary shrinking;
  for (int i = 0; i < 20; ++i) shrinking.set("k" + std::to_string(i), i);
  for (int i = 1; i < 19; ++i) {
    if (i == 7) continue;
    EXPECT_TRUE(shrinking.remove("k" + std::to_string(i)));
    for (const auto& [key, value] : shrinking) EXPECT_EQ(*shrinking.find(key), value) << key;
  }
  EXPECT_EQ(shrinking.keys(), (std::vector<std::string>{"k0", "k7", "k19"}));
}

TEST(ValueTest, EqualityIsByTypeAndContent) {
  EXPECT_EQ(Value::dictionary({{"a", 1}, {"b", 2}}), Value::dictionary({{"b", 2}, {"a", 1}}));
  EXPECT_NE(Value::array({1, 2}), Value::array({2, 1}));
  EXPECT_NE(Value(1), Value(1.0));
  EXPECT_NE(Value(1), Value(true));
  EXPECT_NE(Value::dictionary({{"a", 1}}), Value::dictionary({{"a", 1}, {"b", 1}}));
}

TEST(ValueTest, DescribeIsReadable) {
  Value v = Value::dictionary({{"k", Value::array({nullptr, true, 1, "s", Bytes{0xAB}})}});
  EXPECT_EQ(describe(v), "{k: [null, true, 1, \"s\", <ab>]}");
}

}  // namespace
}  // namespace platform
