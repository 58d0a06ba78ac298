#include "platform/media/mime_type.h"

#include <gtest/gtest.h>

namespace platform::media {
namespace {

TEST(MimeTypeTest, CommonExtensionsInAnyCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"jpg", "image/jpeg"},      {"JPG", "image/jpeg"}, {"jpeg", "image/jpeg"},
      {"png", "image/png"},       {"txt", "text/plain"}, {"css", "text/css"},
      {"m4a", "audio/mp4"},       {"wav", "audio/wav"},  {"Mp4", "video/mp4"},
      {"mov", "video/quicktime"},
  };
  for (const auto& [extension, mime] : cases) {
    EXPECT_EQ(mimeTypeForExtension(extension), mime) << extension;
  }
}

TEST(MimeTypeTest, NoTypeForEmptyUnknownOrPathLikeExtensions) {
  for (const char* extension : {"", "zz-not-a-type", "a/b"}) {
    EXPECT_EQ(mimeTypeForExtension(extension), std::nullopt) << extension;
  }
}

TEST(MimeTypeTest, ExtensionOfTheLastComponent) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/b.txt", "txt"}, {"b.tar.gz", "gz"},       {"/a.d/b", ""},
      {"noext", ""},       {"/a/.hidden", "hidden"},
  };
  for (const auto& [path, extension] : cases) EXPECT_EQ(pathExtension(path), extension) << path;
}

}  // namespace
}  // namespace platform::media
