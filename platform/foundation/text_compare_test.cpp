#include "platform/foundation/text_compare.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(TextCompareTest, NumericCaseInsensitiveOrder) {
  const auto less = std::weak_ordering::less;
  const auto equal = std::weak_ordering::equivalent;
  const auto greater = std::weak_ordering::greater;
  const std::tuple<const char*, const char*, std::weak_ordering> cases[] = {
      {"9A10", "10A1", less},
      {"12a", "12A", equal},
      {"12B440", "12B466", less},
      {"12B440", "12b440", equal},
      {"12B440", "9A334", greater},
      {"6.1.0-18-amd64", "6.1.0-21-amd64", less},
      {"8.4", "8.10", less},
      {"007", "7", equal},
      {"a", "B", less},
      {"ab", "abc", less},
      {"", "", equal},
      {"", "0", less},
      {"99999999999999999999999", "99999999999999999999998", greater},
      {"100000000000000000000000", "99999999999999999999999", greater},
      {"x-", "x_", less},  // other characters by code
  };
  for (const auto& [a, b, order] : cases) {
    EXPECT_EQ(compareTextNumerically(a, b), order) << a << " vs " << b;
    EXPECT_EQ(compareTextNumerically(b, a), 0 <=> order) << b << " vs " << a;
  }
}

}  // namespace
}  // namespace platform
