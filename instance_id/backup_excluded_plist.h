#pragma once
// A property-list file "<name>.plist" in the app's documents folder, marked excluded from backup
// on every write. Its dictionary is read once and held; writes and deletes through this object
// keep the held copy current. Used from one queue at a time.
#include <filesystem>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

class VIZInstanceIDBackupExcludedPlist {
 public:
  explicit VIZInstanceIDBackupExcludedPlist(std::string fileName)
      : fileName_(std::move(fileName)) {}

  const std::string& fileName() const { return fileName_; }
  static std::filesystem::path pathWithName(const std::string& fileName);
  std::filesystem::path plistPath() const { return pathWithName(fileName_); }

  // Writes the file atomically, holds the dictionary, then marks the file excluded from backup
  // (a failure there answers false; the file stays written and held).
  bool writeDictionary(const platform::Dictionary& dictionary,
                       std::optional<platform::Error>* error = nullptr);
  // Removes the file (true when there was none) and drops the held dictionary.
  bool deleteFile(std::optional<platform::Error>* error = nullptr);
  // The held dictionary, read from the file when nothing is held; nothing when there is no file
  // or it is not a readable dictionary.
  const std::optional<platform::Dictionary>& contentAsDictionary();
  const std::optional<platform::Dictionary>& cachedPlistContents() const { return cached_; }
  bool doesFileExist() const;

 private:
  std::string fileName_;
  std::optional<platform::Dictionary> cached_;
};
