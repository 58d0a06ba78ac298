#include "platform/storage/bundle.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/storage/strings_table.h"
#include "platform/testing/test_app.h"

namespace platform {
namespace {

TEST(StringsTableTest, ReadsTheTextForm) {
  Result<Dictionary> table = parseStringsTable(
      "\xEF\xBB\xBF/* a comment */\n"
      "\"title\" = \"Hello \\\"you\\\"\\n\";\n"
      "// a line comment\n"
      "plain_key = word;\n"
      "\"snow\" = \"\\U2603\";\n"
      "\"smile\" = \"\\UD83D\\uDE00\";\n"
      "\"lone\" = \"\\UD83Dx\\UDE00\";");
  ASSERT_TRUE(table.ok()) << table.error().description();
  EXPECT_EQ(*table->find("title"), Value("Hello \"you\"\n"));
  EXPECT_EQ(*table->find("plain_key"), Value("word"));
  EXPECT_EQ(*table->find("snow"), Value("\xE2\x98\x83"));
  // Characters beyond the basic plane come as surrogate pairs; a lone surrogate becomes U+FFFD.
  EXPECT_EQ(*table->find("smile"), Value("\xF0\x9F\x98\x80"));
  EXPECT_EQ(*table->find("lone"), Value("\xEF\xBF\xBDx\xEF\xBF\xBD"));
}

TEST(StringsTableTest, RefusesMalformedTables) {
  for (const char* bad :
       {"\"a\" = \"b\"", "\"a\" \"b\";", "\"a\" = \"b;", "= \"b\";", "\"a\" = \"\\U12\";"}) {
    EXPECT_FALSE(parseStringsTable(bad).ok()) << bad;
  }
}

class LanguageScope {
 public:
  explicit LanguageScope(const char* languages) {
    if (const char* old = std::getenv("LANGUAGE")) previous_ = old;
    setenv("LANGUAGE", languages, 1);
  }
  ~LanguageScope() {
    if (previous_) {
      setenv("LANGUAGE", previous_->c_str(), 1);
    } else {
      unsetenv("LANGUAGE");
    }
  }

 private:
  std::optional<std::string> previous_;
};

TEST(BundleTest, LocalizedStringFollowsPreferredLanguages) {
  testing::TestApp app;
  app.writeBundleFile("Plug.bundle/fr.lproj/Localizable.strings", "\"ok\" = \"d'accord\";");
  app.writeBundleFile("Plug.bundle/Base.lproj/Localizable.strings",
                      "\"ok\" = \"OK\"; \"cancel\" = \"Cancel\";");
  Bundle plugin(app.bundlePath() / "Plug.bundle");

  LanguageScope french("fr_CA:en");
  EXPECT_EQ(plugin.localizedString("ok"), "d'accord");    // region falls back to the language
  EXPECT_EQ(plugin.localizedString("cancel"), "Cancel");  // missing in French: Base
  EXPECT_EQ(plugin.localizedString("missing"), "missing");
  EXPECT_EQ(plugin.localizedString("ok", "Other"), "ok");
  {
    LanguageScope german("de");
    EXPECT_EQ(plugin.localizedString("ok"), "OK");
  }
}

}  // namespace
}  // namespace platform
