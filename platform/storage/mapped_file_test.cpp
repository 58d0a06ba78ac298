#include "platform/storage/mapped_file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/testing/temp_dir.h"

namespace platform {
namespace {

TEST(MappedFileTest, MapsRegularFilesOnly) {
  testing::TempDir dir;
  const std::string content(100000, 'm');
  testing::writeFile(dir / "big.bin", content + "end");
  testing::writeFile(dir / "empty.bin", "");
  std::shared_ptr<const MappedFile> big = MappedFile::open(dir / "big.bin");
  ASSERT_TRUE(big);
  EXPECT_EQ(std::string(big->bytes().begin(), big->bytes().end()), content + "end");
  std::shared_ptr<const MappedFile> empty = MappedFile::open(dir / "empty.bin");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->bytes().empty());
  EXPECT_FALSE(MappedFile::open(dir / "missing.bin"));
  EXPECT_FALSE(MappedFile::open(dir.path()));  // a folder
}

}  // namespace
}  // namespace platform
