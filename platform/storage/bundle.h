#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace platform {

// A read-only folder of resources with an "Info.plist" describing it: the app bundle itself (the
// main bundle) or a resource bundle inside it ("VKRCapture.bundle").
class Bundle {
 public:
  // Reads the folder's Info.plist. A missing one reads as an empty dictionary; an unreadable
  // one is logged and reads as empty too.
  explicit Bundle(std::filesystem::path folder);

  // The running app's bundle, from the current app environment.
  static std::shared_ptr<const Bundle> mainBundle();

  const std::filesystem::path& bundlePath() const { return path_; }
  const Dictionary& infoDictionary() const { return info_; }
  // An Info.plist value; null when absent.
  const Value& objectForInfoDictionaryKey(std::string_view key) const;

  // Texts of the usual keys; "" when absent or not text.
  std::string bundleIdentifier() const;    // "CFBundleIdentifier"
  std::string shortVersionString() const;  // "CFBundleShortVersionString"
  std::string bundleVersion() const;       // "CFBundleVersion"
  std::string displayName() const;         // "CFBundleDisplayName", else "CFBundleName"

  // The path of an existing resource: `name` plus ".`type`" when a type is given, in the
  // bundle's folder or in its sub-folder `directory`. Nothing when there is no such file or when
  // the name or folder would lead outside the bundle (absolute, or through "..").
  std::optional<std::filesystem::path> pathForResource(std::string_view name,
                                                       std::string_view type = "",
                                                       std::string_view directory = "") const;

  // The text for `key` in the table ("<table>.strings", default "Localizable") of the first of
  // the user's preferred languages the bundle has ("<language>.lproj", then the language without
  // its region, then "Base.lproj"); the key itself when no table has it.
  std::string localizedString(std::string_view key, std::string_view table = "Localizable") const;
  // The same, but nothing when no table has the key.
  std::optional<std::string> localizedStringIfPresent(std::string_view key,
                                                      std::string_view table = "Localizable") const;

 private:
  std::string text(std::string_view key) const;

  std::filesystem::path path_;
  Dictionary info_;
};

}  // namespace platform
