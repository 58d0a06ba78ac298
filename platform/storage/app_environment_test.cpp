#include "platform/storage/app_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "platform/foundation/property_list.h"
#include "platform/storage/app_home.h"
#include "platform/storage/bundle.h"
#include "platform/storage/file_manager.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/temp_dir.h"
#include "platform/testing/test_app.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::LogCapture;
using testing::TempDir;
using testing::TestApp;
using testing::writeFile;

// Sets one environment variable for a test and restores it after.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedVariable() { saved_ ? setenv(name_, saved_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

void writeInfo(const fs::path& bundle, const Value& info) {
  writeFile(bundle / "Info.plist", stringOf(*toPropertyList(info, PropertyListFormat::XML)));
}

TEST(AppEnvironmentTest, PlacesTheHomeAndKeychainUnderTheDataFolderByBundleIdentifier) {
  TempDir dir;
  TestApp restoresTheEnvironment;
  writeInfo(dir / "Bundle", Value::dictionary({{"CFBundleIdentifier", "com.example.notes"}}));
  writeInfo(dir / "NoId", Value::dictionary());
  writeInfo(dir / "Odd", Value::dictionary({{"CFBundleIdentifier", "../../etc"}}));
  struct Case {
    const char* xdg;
    const char* home;
    fs::path bundle;
    fs::path data;
    std::string name;
  };
  const Case cases[] = {
      {"/xdg/data", "/home/u", dir / "Bundle", "/xdg/data", "com.example.notes"},
      {nullptr, "/home/u", dir / "Bundle", "/home/u/.local/share", "com.example.notes"},
      {"relative/ignored", "/home/u", dir / "Bundle", "/home/u/.local/share", "com.example.notes"},
      {"/xdg/data", "/home/u", dir / "NoId", "/xdg/data", "NoId"},
      {"/xdg/data", "/home/u", dir / "Odd", "/xdg/data", ".._.._etc"},
  };
  for (const Case& c : cases) {
    ScopedVariable xdg("XDG_DATA_HOME", c.xdg);
    ScopedVariable home("HOME", c.home);
    std::shared_ptr<const AppEnvironment> environment =
        AppEnvironment::configure({.bundle = c.bundle});
    EXPECT_EQ(environment->appHome(), c.data / "vokaru/apps" / c.name);
    EXPECT_EQ(environment->keychainFolder(), c.data / "vokaru/keychains" / c.name);
    EXPECT_EQ(environment->storageName(), c.name);
    EXPECT_EQ(AppEnvironment::current(), environment);
    EXPECT_EQ(Bundle::mainBundle()->bundlePath(), c.bundle);
  }
  // Given places win over the defaults; the bundle identifier is kept as written.
  std::shared_ptr<const AppEnvironment> given = AppEnvironment::configure(
      {.bundle = dir / "Odd", .appHome = dir / "home", .keychainFolder = dir / "keys"});
  EXPECT_EQ(given->appHome(), dir / "home");
  EXPECT_EQ(given->keychainFolder(), dir / "keys");
  EXPECT_EQ(given->bundleIdentifier(), "../../etc");
  // Nothing was created on disk by configuring.
  EXPECT_FALSE(FileManager::fileExists(dir / "home"));
}

TEST(AppEnvironmentTest, TestAppPutsThePreviousEnvironmentBack) {
  std::shared_ptr<const AppEnvironment> before = AppEnvironment::current();
  {
    TestApp app("com.example.inner");
    EXPECT_EQ(AppEnvironment::current()->bundleIdentifier(), "com.example.inner");
    EXPECT_EQ(AppEnvironment::current()->appHome(), app.appHome());
  }
  std::shared_ptr<const AppEnvironment> after = AppEnvironment::current();
  EXPECT_EQ(after->bundlePath(), before->bundlePath());
  EXPECT_EQ(after->appHome(), before->appHome());
  EXPECT_EQ(after->keychainFolder(), before->keychainFolder());
  EXPECT_NE(after->generation(), before->generation());
}

TEST(BundleTest, ReadsInfoKeysAndFindsResources) {
  TestApp app("com.example.app", {{"CFBundleShortVersionString", "1.2"},
                                  {"CFBundleVersion", "42"},
                                  {"CFBundleName", "Example"},
                                  {"UIApplicationExitsOnSuspend", true}});
  app.writeBundleFile("www/index.html", "<html/>");
  app.writeBundleFile("config.xml", "<widget/>");
  app.writeBundleFile("Sounds.bundle/beep.wav", "RIFF");
  std::shared_ptr<const Bundle> bundle = Bundle::mainBundle();
  EXPECT_EQ(bundle->bundleIdentifier(), "com.example.app");
  EXPECT_EQ(bundle->shortVersionString(), "1.2");
  EXPECT_EQ(bundle->bundleVersion(), "42");
  EXPECT_EQ(bundle->displayName(), "Example");
  EXPECT_EQ(bundle->objectForInfoDictionaryKey("UIApplicationExitsOnSuspend"), Value(true));
  EXPECT_TRUE(bundle->objectForInfoDictionaryKey("Missing").isNull());

  struct Case {
    const char* name;
    const char* type;
    const char* directory;
    const char* found;  // relative to the bundle; null when nothing is found
  };
  const Case cases[] = {
      {"config", "xml", "", "config.xml"},
      {"config.xml", "", "", "config.xml"},
      {"config", ".xml", "", "config.xml"},
      {"index", "html", "www", "www/index.html"},
      {"www/index", "html", "", "www/index.html"},
      {"Sounds", "bundle", "", "Sounds.bundle"},
      {"beep", "wav", "Sounds.bundle", "Sounds.bundle/beep.wav"},
      {"index", "html", "", nullptr},
      {"missing", "txt", "", nullptr},
      {"", "", "", nullptr},
      {"../App.bundle/config", "xml", "", nullptr},
      {"config", "xml", "www/..", nullptr},
      {"/etc/passwd", "", "", nullptr},
  };
  for (const Case& c : cases) {
    std::optional<fs::path> path = bundle->pathForResource(c.name, c.type, c.directory);
    if (c.found) {
      EXPECT_EQ(path, app.bundlePath() / c.found) << c.name;
    } else {
      EXPECT_FALSE(path) << c.name;
    }
  }
  // A resource bundle inside the app bundle is a bundle of its own.
  EXPECT_EQ(Bundle(app.bundlePath() / "Sounds.bundle").pathForResource("beep", "wav"),
            app.bundlePath() / "Sounds.bundle/beep.wav");
}

TEST(BundleTest, UnreadableInfoIsLoggedAndReadsAsEmpty) {
  TempDir dir;
  writeFile(dir / "Broken/Info.plist", "<plist><dict><key>CFBundleIdentifier</key>");
  LogCapture log;
  Bundle bundle(dir / "Broken");
  EXPECT_TRUE(bundle.infoDictionary().empty());
  EXPECT_EQ(bundle.bundleIdentifier(), "");
  EXPECT_TRUE(log.contains("is not a property-list dictionary"));
  EXPECT_TRUE(Bundle(dir / "NoInfo").infoDictionary().empty());
}

TEST(AppHomeTest, FoldersAreCreatedWhenAskedFor) {
  TestApp app;
  EXPECT_FALSE(FileManager::fileExists(app.appHome()));
  struct Case {
    fs::path (*folder)();
    const char* relative;
  };
  const Case cases[] = {
      {AppHome::documents, "Documents"},
      {AppHome::library, "Library"},
      {AppHome::preferences, "Library/Preferences"},
      {AppHome::caches, "Library/Caches"},
      {AppHome::applicationSupport, "Library/Application Support"},
      {AppHome::temporary, "tmp"},
  };
  for (const Case& c : cases) {
    fs::path folder = c.folder();
    EXPECT_EQ(folder, app.appHome() / c.relative);
    bool isDirectory = false;
    EXPECT_TRUE(FileManager::fileExists(folder, &isDirectory) && isDirectory) << c.relative;
  }
  EXPECT_EQ(AppHome::root(), app.appHome());
}

}  // namespace
}  // namespace platform
