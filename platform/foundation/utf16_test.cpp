#include "platform/foundation/utf16.h"

#include <gtest/gtest.h>

#include "platform/foundation/scanner.h"

namespace platform {
namespace {

TEST(UTF16Test, ConvertsBothWaysAndReplacesWhatCannotBeCarried) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  for (const Case& c : std::vector<Case>{
           {"", u""},
           {"a\xC3\xA9\xE4\xB8\xAD", u"a\u00E9\u4E2D"},
           {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
       }) {
    EXPECT_EQ(utf16FromUTF8(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(utf8FromUTF16(c.utf16), c.utf8) << c.utf8;
  }
  EXPECT_EQ(utf16FromUTF8("a\xFF"
                          "b\xC3"),
            u"a\uFFFDb\uFFFD");
  EXPECT_EQ(utf8FromUTF16(std::u16string(u"x") + char16_t(0xD83D)), "x\xEF\xBF\xBD");
  EXPECT_EQ(utf8FromUTF16(std::u16string(1, char16_t(0xDE00)) + u"y"), "\xEF\xBF\xBDy");
}

TEST(ScannerTest, KeepsALocationInCodeUnitsAndSkipsBlanksByDefault) {
  Scanner scanner("\xC3\xA9 x");
  EXPECT_EQ(scanner.string().size(), 3u);
  scanner.setScanLocation(10);
  EXPECT_EQ(scanner.scanLocation(), 3u);
  EXPECT_TRUE(scanner.isAtEnd());
  EXPECT_TRUE(scanner.skips(u' '));
  EXPECT_TRUE(scanner.skips(u'\n'));
  EXPECT_TRUE(scanner.skips(0x3000));
  EXPECT_FALSE(scanner.skips(u'x'));
  scanner.setCharactersToBeSkipped(nullptr);
  EXPECT_FALSE(scanner.skips(u' '));
}

}  // namespace
}  // namespace platform
