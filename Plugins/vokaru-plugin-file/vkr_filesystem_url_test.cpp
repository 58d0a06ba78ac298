#include "Plugins/vokaru-plugin-file/vkr_filesystem_url.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
  const char* text;
  std::optional<std::string> name;
  std::optional<std::string> fullPath;
};

TEST(VKRFilesystemURLTest, ParsesNameAndFullPath) {
  const ParseCase cases[] = {
      {"vkrfile://localhost/persistent/notes/a.txt", "persistent", "/notes/a.txt"},
      {"vkrfile://localhost/persistent/", "persistent", ""},
      {"vkrfile://localhost/persistent", "persistent", ""},
      {"vkrfile://localhost/temporary/a.txt?x=1", "temporary", "/a.txt?x=1"},
      {"vkrfile://localhost", std::nullopt, ""},
      {"vkrfile://localhost/", std::nullopt, ""},
      {"vkrfile://example/persistent/a", std::nullopt, std::nullopt},
      {"file:///var/a", std::nullopt, std::nullopt},
      {"assets-library://asset/asset.JPG?id=1&ext=JPG", "assets-library",
       "/asset/asset.JPG?id=1&ext=JPG"},
      // The path is decoded: escapes of "." and "/" become what they stand for, and it is the
      // file system's business to keep such paths inside its root.
      {"vkrfile://localhost/persistent/%2E%2E/x", "persistent", "/../x"},
      {"vkrfile://localhost/persistent/my%20notes/%C3%A9.txt", "persistent",
       "/my notes/\xC3\xA9.txt"},
      {"vkrfile://localhost/per%2Fsistent/x", "per/sistent", "/sistent/x"},
      {"VKRFILE://LOCALHOST/persistent/a#fragment", "persistent", "/a"},
      {"not a url %zz", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
  };
  for (const ParseCase& c : cases) {
    VKRFilesystemURL url = VKRFilesystemURL::fileSystemURLWithString(c.text);
    EXPECT_EQ(url.fileSystemName(), c.name) << c.text;
    EXPECT_EQ(url.fullPath(), c.fullPath) << c.text;
  }
}

TEST(VKRFilesystemURLTest, FormsTheURLItParsedAndEscapesPathsThatNeedIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"vkrfile://localhost/persistent/notes/a.txt", "vkrfile://localhost/persistent/notes/a.txt"},
      {"vkrfile://localhost/temporary/a.txt?x=1", "vkrfile://localhost/temporary/a.txt?x=1"},
      {"vkrfile://localhost/persistent/", "vkrfile://localhost/persistent"},
      {"vkrfile://localhost/persistent/100%25%20sure%23.txt",
       "vkrfile://localhost/persistent/100%25%20sure%23.txt"},
      {"assets-library://asset/asset.JPG?id=1&ext=JPG",
       "vkrfile://localhost/assets-library/asset/asset.JPG?id=1&ext=JPG"},
  };
  for (const auto& [text, formed] : cases) {
    VKRFilesystemURL url = VKRFilesystemURL::fileSystemURLWithString(text);
    EXPECT_EQ(url.absoluteURL(), formed) << text;
    VKRFilesystemURL again = VKRFilesystemURL::fileSystemURLWithString(url.absoluteURL());
    EXPECT_EQ(again.fileSystemName(), url.fileSystemName()) << text;
    EXPECT_EQ(again.fullPath(), url.fullPath()) << text;
  }
}

TEST(VKRFilesystemURLTest, KeepsTheURLItWasMadeFrom) {
  platform::Result<platform::URL> parsed = platform::URL::parse("vkrfile://localhost/cache/x");
  ASSERT_TRUE(parsed.ok());
  VKRFilesystemURL url = VKRFilesystemURL::fileSystemURLWithURL(*parsed);
  ASSERT_TRUE(url.url());
  EXPECT_EQ(url.url()->absoluteString(), "vkrfile://localhost/cache/x");
  EXPECT_FALSE(VKRFilesystemURL::fileSystemURLWithString("vkrfile://a b/x").url());
}

}  // namespace
