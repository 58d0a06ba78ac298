#include "VokaruLib/Classes/Public/vkr_app_web_engine.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/storage/user_defaults.h"
#include "platform/testing/test_app.h"

namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A change of "BackupWebStorage" between runs: the page's store is moved to where this run's
// setting keeps it before the engine takes its folders, so the page finds its data.
TEST(VKRAppWebEngineTest, AFlippedBackupSettingMovesTheStoreBeforeTheEngineOpensIt) {
  struct Case {
    const char* setting;
    bool lastRunStoredForBackup;
    const char* before;  // relative to Library/
    const char* after;
  };
  const Case cases[] = {
      {"local", true, "WebKit/LocalStorage/file__0.localstorage", "Caches/file__0.localstorage"},
      {"cloud", false, "Caches/file__0.localstorage", "WebKit/LocalStorage/file__0.localstorage"},
  };
  for (const Case& c : cases) {
    platform::testing::TestApp app;
    app.writeBundleFile("config.xml", std::string("<widget><preference name=\"BackupWebStorage\" "
                                                  "value=\"") +
                                          c.setting + "\"/></widget>");
    ASSERT_TRUE(platform::UserDefaults::standard()
                    ->setObject(c.lastRunStoredForBackup, "WebKitStoreWebDataForBackup")
                    .ok());
    const fs::path library = app.appHome() / "Library";
    fs::create_directories((library / c.before).parent_path());
    std::ofstream(library / c.before) << "the page's data";

    const auto configuration = vkrAppWebEngineConfiguration();
    EXPECT_EQ(configuration.localStorageDirectory, (library / c.after).parent_path()) << c.setting;
    EXPECT_EQ(contentOf(library / c.after), "the page's data") << c.setting;
  }
}

}  // namespace
