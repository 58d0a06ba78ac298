#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform {

// File errors carry the platform's file error codes (mapped from errno), the path under
// kFilePathErrorKey and the errno value under kPOSIXErrorCodeKey.
inline constexpr const char* kFileErrorDomain = "FileErrorDomain";
inline constexpr const char* kFilePathErrorKey = "NSFilePath";
inline constexpr const char* kPOSIXErrorCodeKey = "POSIXErrorCode";
enum FileErrorCode : int64_t {
  kFileNoSuchFileError = 4,
  kFileReadUnknownError = 256,
  kFileReadNoPermissionError = 257,
  kFileReadNoSuchFileError = 260,  // reading a file's contents
  kFileReadTooLargeError = 263,
  kFileWriteUnknownError = 512,
  kFileWriteNoPermissionError = 513,
  kFileWriteInvalidFileNameError = 514,
  kFileWriteFileExistsError = 516,
  kFileWriteOutOfSpaceError = 640,
  kFileWriteVolumeReadOnlyError = 642,
};

enum class FileType { Regular, Directory, SymbolicLink, Other };

struct FileAttributes {
  FileType type = FileType::Other;
  uint64_t size = 0;
  Date modificationDate;
  uint32_t permissions = 0;  // the mode's permission bits, e.g. 0644
};

// The file system, as the app sees it. Every operation is thread-safe and answers an error
// value; none throws. Paths are used as given (no tilde expansion).
class FileManager {
 public:
  // Whether something exists at the path (a symbolic link counts as what it points to).
  static bool fileExists(const std::filesystem::path& path, bool* isDirectory = nullptr);

  // Creates a folder; with intermediates, also its missing parents, and an existing folder is
  // fine. Without, the parent must exist and the folder must not.
  static Status createDirectory(const std::filesystem::path& path, bool withIntermediates = true);

  // Removes a file, a link or a whole folder tree. Nothing there is an error (no such file).
  static Status removeItem(const std::filesystem::path& path);

  // Copy and move refuse to replace an existing destination (file exists). Folders are copied
  // whole; links are copied as links. A move across file systems copies, then removes.
  static Status copyItem(const std::filesystem::path& from, const std::filesystem::path& to);
  static Status moveItem(const std::filesystem::path& from, const std::filesystem::path& to);
  // Moves the item over what stands at the destination (a file, or an empty folder when a folder
  // is moved) in one step: whatever happens, the destination holds its old item or the new one.
  // Across file systems the item is copied whole beside the destination before it replaces it.
  static Status replaceItem(const std::filesystem::path& from, const std::filesystem::path& to);

  // The names in a folder (no "." or ".."), sorted.
  static Result<std::vector<std::string>> contentsOfDirectory(const std::filesystem::path& path);
  // Every path below a folder, relative to it, sorted; links to folders are not followed.
  static Result<std::vector<std::string>> subpathsOfDirectory(const std::filesystem::path& path);

  // Attributes of the item itself (a link is not followed).
  static Result<FileAttributes> attributesOfItem(const std::filesystem::path& path);
  static Status setModificationDate(const std::filesystem::path& path, Date date);

  // Extended attributes by the platform's names (stored as "user.<name>"). Reading one the item
  // doesn't have answers nothing; removing one it doesn't have succeeds.
  static Result<std::optional<Bytes>> extendedAttribute(const std::filesystem::path& path,
                                                        std::string_view name);
  static Status setExtendedAttribute(const std::filesystem::path& path, std::string_view name,
                                     const Bytes& value);
  static Status removeExtendedAttribute(const std::filesystem::path& path, std::string_view name);

  // The excluded-from-backup mark. Nothing backs up on Linux, but the mark is kept (as an
  // extended attribute) for those that read it back.
  static Status setExcludedFromBackup(const std::filesystem::path& path, bool excluded);
  static Result<bool> isExcludedFromBackup(const std::filesystem::path& path);

  // Bytes available to the user on the file system holding the path.
  static Result<uint64_t> freeSpace(const std::filesystem::path& path);

  // The whole content of a file.
  static Result<Bytes> contentsOfFile(const std::filesystem::path& path);

  // Replaces the file's content all at once: written to a temporary file beside it, flushed to
  // disk, then renamed over it. Whoever reads the file sees the old content or the new, never a
  // mix, even when the writer dies half-way. The parent folder must exist.
  static Status writeAtomically(const std::filesystem::path& path, const Bytes& content,
                                mode_t mode = 0644);

  // Test seam: while set, every atomic write calls the fault just before its rename; a non-zero
  // errno it answers makes the rename fail with that error. Answers the previous fault.
  using RenameFault = std::function<int(const std::filesystem::path& target)>;
  static RenameFault setRenameFaultForTesting(RenameFault fault);

  // A file error for an errno, with the read or write code the platform uses for it.
  enum class Access { Read, Write };
  static Error errorForErrno(int errnum, const std::filesystem::path& path, Access access);
};

}  // namespace platform
