#include "app/window_size.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowSizeTest, ReadsWidthByHeightAndRefusesAnythingElse) {
  EXPECT_EQ(parseWindowSize("1280x800"), (platform::ui::Size{1280, 800}));
  EXPECT_EQ(parseWindowSize("1X16384"), (platform::ui::Size{1, 16384}));
  for (const char* bad :
       {"", "x", "1280", "1280x", "x800", "0x800", "1280x0", "-5x800", "1280x800x2", "1280 x 800",
        "12.5x800", "16385x800", "+1280x800", "99999999999x1"}) {
    EXPECT_EQ(parseWindowSize(bad), std::nullopt) << bad;
  }
}

}  // namespace
