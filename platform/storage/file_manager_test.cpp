#include "platform/storage/file_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>

#include "platform/testing/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

int64_t codeOf(const Status& status) { return status ? 0 : status.error().code(); }

// Removes the rename fault when the test ends, however it ends.
struct RenameFaultGuard {
  explicit RenameFaultGuard(FileManager::RenameFault fault) {
    FileManager::setRenameFaultForTesting(std::move(fault));
  }
  ~RenameFaultGuard() { FileManager::setRenameFaultForTesting(nullptr); }
};

TEST(FileManagerTest, CreatesListsAndRemovesFolders) {
  TempDir dir;
  ASSERT_TRUE(FileManager::createDirectory(dir / "a/b/c"));
  EXPECT_TRUE(FileManager::createDirectory(dir / "a/b/c")) << "an existing folder is fine";
  EXPECT_EQ(codeOf(FileManager::createDirectory(dir / "a/b", false)), kFileWriteFileExistsError);
  EXPECT_EQ(codeOf(FileManager::createDirectory(dir / "x/y", false)), kFileNoSuchFileError);
  writeFile(dir / "a/file.txt", "hello");
  EXPECT_EQ(codeOf(FileManager::createDirectory(dir / "a/file.txt")), kFileWriteFileExistsError);
  fs::create_symlink("b", dir / "a/link");

  bool isDirectory = false;
  EXPECT_TRUE(FileManager::fileExists(dir / "a/b", &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_TRUE(FileManager::fileExists(dir / "a/file.txt", &isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_FALSE(FileManager::fileExists(dir / "nothing", &isDirectory));

  EXPECT_EQ(*FileManager::contentsOfDirectory(dir / "a"),
            (std::vector<std::string>{"b", "file.txt", "link"}));
  EXPECT_EQ(*FileManager::subpathsOfDirectory(dir / "a"),
            (std::vector<std::string>{"b", "b/c", "file.txt", "link"}));
  EXPECT_EQ(FileManager::contentsOfDirectory(dir / "nothing").error().code(),
            kFileReadNoSuchFileError);

  EXPECT_TRUE(FileManager::removeItem(dir / "a"));
  EXPECT_FALSE(FileManager::fileExists(dir / "a"));
  EXPECT_EQ(codeOf(FileManager::removeItem(dir / "a")), kFileNoSuchFileError);
}

TEST(FileManagerTest, CopiesAndMovesWithoutReplacing) {
  TempDir dir;
  writeFile(dir / "tree/one.txt", "1");
  writeFile(dir / "tree/sub/two.txt", "2");
  writeFile(dir / "other.txt", "keep me");

  ASSERT_TRUE(FileManager::copyItem(dir / "tree", dir / "copy"));
  EXPECT_EQ(readFile(dir / "copy/sub/two.txt"), "2");
  EXPECT_EQ(readFile(dir / "tree/one.txt"), "1");
  EXPECT_EQ(codeOf(FileManager::copyItem(dir / "tree/one.txt", dir / "other.txt")),
            kFileWriteFileExistsError);
  EXPECT_EQ(readFile(dir / "other.txt"), "keep me");
  EXPECT_EQ(codeOf(FileManager::copyItem(dir / "missing", dir / "x")), kFileNoSuchFileError);

  ASSERT_TRUE(FileManager::moveItem(dir / "copy", dir / "moved"));
  EXPECT_FALSE(FileManager::fileExists(dir / "copy"));
  EXPECT_EQ(readFile(dir / "moved/one.txt"), "1");
  EXPECT_EQ(codeOf(FileManager::moveItem(dir / "moved/one.txt", dir / "other.txt")),
            kFileWriteFileExistsError);
  EXPECT_EQ(readFile(dir / "other.txt"), "keep me");
  EXPECT_EQ(codeOf(FileManager::moveItem(dir / "missing", dir / "x")), kFileNoSuchFileError);
}

TEST(FileManagerTest, ReplaceMovesOverAFileOrEmptyFolderAndKeepsWhatItCannotReplace) {
  TempDir dir;
  writeFile(dir / "new.txt", "new");
  writeFile(dir / "old.txt", "old");
  ASSERT_TRUE(FileManager::replaceItem(dir / "new.txt", dir / "old.txt"));
  EXPECT_EQ(readFile(dir / "old.txt"), "new");
  EXPECT_FALSE(FileManager::fileExists(dir / "new.txt"));

  writeFile(dir / "tree/a.txt", "a");
  ASSERT_TRUE(FileManager::createDirectory(dir / "empty"));
  ASSERT_TRUE(FileManager::replaceItem(dir / "tree", dir / "empty"));
  EXPECT_EQ(readFile(dir / "empty/a.txt"), "a");

  writeFile(dir / "full/keep.txt", "keep");
  writeFile(dir / "tree2/b.txt", "b");
  EXPECT_EQ(codeOf(FileManager::replaceItem(dir / "tree2", dir / "full")),
            kFileWriteFileExistsError);
  EXPECT_EQ(readFile(dir / "full/keep.txt"), "keep");
  EXPECT_EQ(readFile(dir / "tree2/b.txt"), "b");
  EXPECT_EQ(codeOf(FileManager::replaceItem(dir / "missing", dir / "old.txt")),
            kFileNoSuchFileError);
  EXPECT_EQ(readFile(dir / "old.txt"), "new");
}

// Memory-backed /dev/shm is another file system than the temporary folder on most machines.
TEST(FileManagerTest, ReplaceAcrossFileSystemsCopiesWholeThenRemovesTheSource) {
  TempDir dir;
  std::string other = "/dev/shm/vokaru-replace-XXXXXX";
  struct stat here {
  }, there{};
  if (!mkdtemp(other.data())) GTEST_SKIP() << "no /dev/shm";
  std::shared_ptr<void> cleanup(nullptr, [&](void*) { fs::remove_all(other); });
  if (stat(dir.path().c_str(), &here) != 0 || stat(other.c_str(), &there) != 0 ||
      here.st_dev == there.st_dev) {
    GTEST_SKIP() << "/dev/shm is on the same file system";
  }
  writeFile(fs::path(other) / "tree/a.txt", "a");
  writeFile(dir / "dest/old.txt", "old");
  ASSERT_TRUE(FileManager::removeItem(dir / "dest/old.txt"));
  ASSERT_TRUE(FileManager::replaceItem(fs::path(other) / "tree", dir / "dest"));
  EXPECT_EQ(readFile(dir / "dest/a.txt"), "a");
  EXPECT_FALSE(FileManager::fileExists(fs::path(other) / "tree"));
  EXPECT_EQ(*FileManager::contentsOfDirectory(dir.path()), (std::vector<std::string>{"dest"}))
      << "no staging folder is left behind";
}

TEST(FileManagerTest, AttributesAndModificationDate) {
  TempDir dir;
  writeFile(dir / "file", "12345");
  fs::create_symlink("file", dir / "link");
  chmod((dir / "file").c_str(), 0640);

  Result<FileAttributes> file = FileManager::attributesOfItem(dir / "file");
  ASSERT_TRUE(file.ok());
  EXPECT_EQ(file->type, FileType::Regular);
  EXPECT_EQ(file->size, 5u);
  EXPECT_EQ(file->permissions, 0640u);
  EXPECT_EQ(FileManager::attributesOfItem(dir / "link")->type, FileType::SymbolicLink);
  EXPECT_EQ(FileManager::attributesOfItem(dir.path())->type, FileType::Directory);
  EXPECT_EQ(FileManager::attributesOfItem(dir / "missing").error().code(),
            kFileReadNoSuchFileError);

  const Date when{1500000000.25};
  ASSERT_TRUE(FileManager::setModificationDate(dir / "file", when));
  EXPECT_NEAR(FileManager::attributesOfItem(dir / "file")->modificationDate.secondsSince1970,
              when.secondsSince1970, 1e-6);
  EXPECT_EQ(codeOf(FileManager::setModificationDate(dir / "missing", when)), kFileNoSuchFileError);
}

TEST(FileManagerTest, ExtendedAttributesAndTheBackupMark) {
  TempDir dir;
  writeFile(dir / "file", "x");
  const fs::path file = dir / "file";

  EXPECT_FALSE(FileManager::extendedAttribute(file, "com.example.note")->has_value());
  ASSERT_TRUE(FileManager::setExtendedAttribute(file, "com.example.note", Bytes{1, 0, 2}));
  EXPECT_EQ(**FileManager::extendedAttribute(file, "com.example.note"), (Bytes{1, 0, 2}));
  EXPECT_TRUE(FileManager::removeExtendedAttribute(file, "com.example.note"));
  EXPECT_TRUE(FileManager::removeExtendedAttribute(file, "com.example.note"));
  EXPECT_FALSE(FileManager::extendedAttribute(file, "com.example.note")->has_value());

  EXPECT_FALSE(*FileManager::isExcludedFromBackup(file));
  ASSERT_TRUE(FileManager::setExcludedFromBackup(file, true));
  EXPECT_TRUE(*FileManager::isExcludedFromBackup(file));
  ASSERT_TRUE(FileManager::setExcludedFromBackup(file, false));
  EXPECT_FALSE(*FileManager::isExcludedFromBackup(file));
  EXPECT_EQ(FileManager::isExcludedFromBackup(dir / "missing").error().code(),
            kFileReadNoSuchFileError);
  EXPECT_EQ(codeOf(FileManager::setExcludedFromBackup(dir / "missing", true)),
            kFileNoSuchFileError);
}

TEST(FileManagerTest, FreeSpaceAndFileContents) {
  TempDir dir;
  Result<uint64_t> free = FileManager::freeSpace(dir.path());
  ASSERT_TRUE(free.ok());
  EXPECT_GT(*free, 0u);
  EXPECT_EQ(FileManager::freeSpace(dir / "missing").error().code(), kFileReadNoSuchFileError);

  writeFile(dir / "file", std::string(100000, 'z'));
  EXPECT_EQ(FileManager::contentsOfFile(dir / "file")->size(), 100000u);
  EXPECT_EQ(FileManager::contentsOfFile(dir / "missing").error().code(), kFileReadNoSuchFileError);
  EXPECT_EQ(FileManager::contentsOfFile(dir.path()).error().code(), kFileReadUnknownError);
}

TEST(FileManagerTest, ErrnoBecomesThePlatformsReadOrWriteCode) {
  struct Case {
    int errnum;
    int64_t read;
    int64_t write;
  };
  const Case cases[] = {
      {ENOENT, kFileReadNoSuchFileError, kFileNoSuchFileError},
      {EACCES, kFileReadNoPermissionError, kFileWriteNoPermissionError},
      {EPERM, kFileReadNoPermissionError, kFileWriteNoPermissionError},
      {ENOSPC, kFileWriteOutOfSpaceError, kFileWriteOutOfSpaceError},
      {EDQUOT, kFileWriteOutOfSpaceError, kFileWriteOutOfSpaceError},
      {EFBIG, kFileReadTooLargeError, kFileReadTooLargeError},
      {EROFS, kFileWriteVolumeReadOnlyError, kFileWriteVolumeReadOnlyError},
      {EEXIST, kFileWriteFileExistsError, kFileWriteFileExistsError},
      {EIO, kFileReadUnknownError, kFileWriteUnknownError},
  };
  for (const Case& c : cases) {
    Error read = FileManager::errorForErrno(c.errnum, "/some/file", FileManager::Access::Read);
    Error write = FileManager::errorForErrno(c.errnum, "/some/file", FileManager::Access::Write);
    EXPECT_EQ(read.code(), c.read) << c.errnum;
    EXPECT_EQ(write.code(), c.write) << c.errnum;
    EXPECT_EQ(write.domain(), kFileErrorDomain);
    EXPECT_EQ(write.userInfo()[kFilePathErrorKey], Value("/some/file"));
    EXPECT_EQ(write.userInfo()[kPOSIXErrorCodeKey], Value(c.errnum));
  }
}

TEST(FileManagerTest, AtomicWriteReplacesWholeOrNotAtAll) {
  TempDir dir;
  const fs::path file = dir / "data.bin";
  ASSERT_TRUE(FileManager::writeAtomically(file, bytesOf("first"), 0600));
  EXPECT_EQ(readFile(file), "first");
  EXPECT_EQ(FileManager::attributesOfItem(file)->permissions, 0600u);
  ASSERT_TRUE(FileManager::writeAtomically(file, bytesOf("second")));
  EXPECT_EQ(readFile(file), "second");
  EXPECT_EQ(FileManager::attributesOfItem(file)->permissions, 0644u);

  {
    fs::path faulted;
    RenameFaultGuard guard([&](const fs::path& target) {
      faulted = target;
      return ENOSPC;
    });
    Status failed = FileManager::writeAtomically(file, bytesOf("third"));
    EXPECT_EQ(codeOf(failed), kFileWriteOutOfSpaceError);
    EXPECT_EQ(faulted, file);
  }
  EXPECT_EQ(readFile(file), "second");
  // No temporary file is left behind, after success or failure.
  EXPECT_EQ(*FileManager::contentsOfDirectory(dir.path()), std::vector<std::string>{"data.bin"});
  EXPECT_EQ(codeOf(FileManager::writeAtomically(dir / "no/such/folder", bytesOf("x"))),
            kFileNoSuchFileError);
}

TEST(FileManagerTest, WriterKilledBeforeItsRenameLeavesThePreviousFile) {
  TempDir dir;
  const fs::path file = dir / "data.bin";
  ASSERT_TRUE(FileManager::writeAtomically(file, bytesOf("before")));
  EXPECT_EXIT(
      {
        FileManager::setRenameFaultForTesting([](const fs::path&) { return raise(SIGKILL); });
        (void)FileManager::writeAtomically(file, Bytes(1 << 20, 'x'));
      },
      ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(readFile(file), "before");
}

}  // namespace
}  // namespace platform
