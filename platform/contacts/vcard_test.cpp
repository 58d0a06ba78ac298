#include "platform/contacts/vcard.h"

#include <gtest/gtest.h>

namespace platform::contacts {
namespace {

TEST(VCardTest, ReadsFoldedEscapedAndGroupedLines) {
  const std::vector<VCard> cards = parseVCards(
      "junk before\r\n"
      "BEGIN:VCARD\r\n"
      "VERSION:3.0\r\n"
      "N:M\\;ller;J\xC3\xBCrgen;;;\r\n"
      "item1.TEL;type=CELL;TYPE=\"a:b\":+49 1\r\n"
      "NOTE:line one\\nline\r\n"
      "  two\\, and more\r\n"
      "no colon here\r\n"
      "END:VCARD\r\n"
      "BEGIN:VCARD\nFN:Second\nEND:VCARD\n");
  ASSERT_EQ(cards.size(), 2u);
  ASSERT_EQ(cards[0].size(), 3u);
  EXPECT_EQ(vCardComponents(cards[0][0].value),
            (std::vector<std::string>{"M;ller", "J\xC3\xBCrgen", "", "", ""}));
  EXPECT_EQ(cards[0][1].name, "TEL");
  EXPECT_EQ(cards[0][1].parameter("TYPE"), "CELL");
  EXPECT_EQ(cards[0][1].value, "+49 1");
  EXPECT_EQ(vCardUnescaped(cards[0][2].value), "line one\nline two, and more");
  EXPECT_EQ(cards[1], (VCard{{"FN", {}, "Second"}}));
  EXPECT_TRUE(parseVCards("").empty());
  EXPECT_TRUE(parseVCards("END:VCARD\r\nFN:x\r\n").empty());
}

TEST(VCardTest, WritesWhatItReadsBackFoldingLongNonASCIILines) {
  std::string longName;
  for (int i = 0; i < 40; ++i) longName += "\xC3\xA9";  // 80 bytes of two-byte characters
  const VCard card{{"FN", {}, vCardEscaped(longName + ", x")},
                   {"EMAIL", {{"TYPE", "_$!<Home>!$_"}}, vCardEscaped("a@b.c")},
                   {"N", {}, vCardJoined({"L;ast", "F\\irst", "", "", ""})}};
  const std::string text = writeVCard(card);
  EXPECT_TRUE(text.starts_with("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
  EXPECT_TRUE(text.ends_with("END:VCARD\r\n"));
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    EXPECT_LE(end - start, 75u);
    start = end + 2;
  }
  const std::vector<VCard> read = parseVCards(text);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0], card);
  EXPECT_EQ(vCardUnescaped(read[0][0].value), longName + ", x");
  EXPECT_EQ(vCardComponents(read[0][2].value)[1], "F\\irst");
}

}  // namespace
}  // namespace platform::contacts
