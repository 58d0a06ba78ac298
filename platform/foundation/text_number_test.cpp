#include "platform/foundation/text_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace platform {
namespace {

TEST(TextNumberTest, IntegersFromTheStartOfText) {
  struct Case {
    const char* text;
    int64_t value;
  };
  const Case cases[] = {
      {"42", 42},
      {"  -17 apples", -17},
      {"+8", 8},
      {"\t\n 007", 7},
      {"3.9", 3},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"- 5", 0},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"-99999999999999999999999", INT64_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(integerValueOfText(c.text), c.value) << c.text;
}

TEST(TextNumberTest, YesOrNoFromTheStartOfText) {
  for (const char* yes : {"true", "YES", "y", "T", "1", "9", "007", " +3", "-1", "tomato"}) {
    EXPECT_TRUE(boolValueOfText(yes)) << yes;
  }
  for (const char* no : {"", "false", "no", "0", "000", "-0", " ", "+", "abc", "N"}) {
    EXPECT_FALSE(boolValueOfText(no)) << no;
  }
}

TEST(TextNumberTest, DecimalsFromTheStartOfText) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"1.5", 1.5},        {" -2.25kg", -2.25},   {".5", 0.5},   {"5.", 5.0},     {"1e3", 1000.0},
      {"1E-2x", 0.01},     {"2e", 2.0},           {"2e+", 2.0},  {"+.", 0.0},     {"", 0.0},
      {"inf", 0.0},        {"nan", 0.0},          {"0x10", 0.0}, {"1e-400", 0.0}, {"1,5", 1.0},
      {"1e400", HUGE_VAL}, {"-1e400", -HUGE_VAL},
  };
  for (const Case& c : cases) EXPECT_EQ(doubleValueOfText(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace platform
