#include "platform/storage/app_container.h"

#include <gtest/gtest.h>

#include "platform/testing/temp_dir.h"
#include "platform/testing/test_app.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::writeFile;

// The places of an app laid out the way the shell lays them, the app home reached through a link
// (as when a user keeps it on another disk), with links planted inside it.
class AppContainerTest : public ::testing::Test {
 protected:
  AppContainerTest() {
    writeFile(dir_ / "App.bundle/www/index.html", "page");
    writeFile(dir_ / "real-home/Documents/note.txt", "note");
    writeFile(dir_ / "keychain/keychain.plist", "secret");
    writeFile(dir_ / "beside.txt", "beside");
    writeFile(dir_ / "real-home2/x", "x");
    fs::create_directory_symlink(dir_ / "real-home", dir_ / "home");
    fs::create_symlink(dir_ / "beside.txt", dir_ / "real-home/Documents/out");
    fs::create_symlink("../../beside.txt", dir_ / "real-home/Documents/relative-out");
    fs::create_symlink(dir_ / "elsewhere-new", dir_ / "real-home/Documents/dangling");
    fs::create_symlink("note.txt", dir_ / "real-home/Documents/in");
    fs::create_directory_symlink(dir_ / "keychain", dir_ / "real-home/keys");
    fs::create_symlink("loop", dir_ / "real-home/loop");
    container_ = AppContainer::of(dir_ / "App.bundle", dir_ / "home", dir_ / "keychain");
  }

  TempDir dir_;
  AppContainer container_;
};

TEST_F(AppContainerTest, PlacesResolvedPaths) {
  const struct {
    std::string path;
    ContainerAccess access;
  } cases[] = {
      {"home", ContainerAccess::ReadWrite},
      {"home/Documents/note.txt", ContainerAccess::ReadWrite},
      {"real-home/Documents/note.txt", ContainerAccess::ReadWrite},
      {"home/Documents/not-yet/new.txt", ContainerAccess::ReadWrite},
      {"home/Documents/in", ContainerAccess::ReadWrite},
      {"App.bundle/www/index.html", ContainerAccess::Read},
      {"App.bundle/../home/Documents", ContainerAccess::ReadWrite},
      {"home/Documents/../../beside.txt", ContainerAccess::None},
      {"beside.txt", ContainerAccess::None},
      {"real-home2/x", ContainerAccess::None},
      {"keychain/keychain.plist", ContainerAccess::None},
      {"home/keys/keychain.plist", ContainerAccess::None},
      {"home/Documents/out", ContainerAccess::None},
      {"home/Documents/relative-out", ContainerAccess::None},
      {"home/Documents/dangling", ContainerAccess::None},
      {"home/loop", ContainerAccess::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(container_.access((dir_ / c.path).string()), c.access) << c.path;
  }
  for (std::string_view outside : {"/etc/passwd", "/", "relative/path", ""}) {
    EXPECT_EQ(container_.access(outside), ContainerAccess::None) << outside;
  }
  EXPECT_TRUE(container_.canRead((dir_ / "App.bundle/www").string()));
  EXPECT_FALSE(container_.canWrite((dir_ / "App.bundle/www").string()));
}

TEST_F(AppContainerTest, ResolvesLinksDotsAndMissingTails) {
  const std::string real = resolvedDevicePath((dir_ / "real-home").string());
  EXPECT_EQ(resolvedDevicePath((dir_ / "home/./Documents//in").string()),
            real + "/Documents/note.txt");
  EXPECT_EQ(resolvedDevicePath((dir_ / "home/Documents/a/../b/c").string()),
            real + "/Documents/b/c");
  EXPECT_EQ(resolvedDevicePath("/../etc/./passwd"), "/etc/passwd");
  EXPECT_EQ(resolvedDevicePath((dir_ / "home/loop").string()), "");
}

TEST(AppContainerEnvironmentTest, IsTheCurrentAppsPlaces) {
  testing::TestApp app;
  const AppContainer container = AppEnvironment::current()->container();
  EXPECT_TRUE(container.canWrite((app.appHome() / "Documents/x").string()));
  EXPECT_EQ(container.access((app.bundlePath() / "Info.plist").string()), ContainerAccess::Read);
  EXPECT_EQ(container.access((app.keychainFolder() / "keychain.plist").string()),
            ContainerAccess::None);
}

}  // namespace
}  // namespace platform
