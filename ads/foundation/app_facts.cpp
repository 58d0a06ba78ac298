#include "ads/foundation/app_facts.h"

#include "ads/foundation/internal_errors.h"
#include "platform/foundation/property_list.h"
#include "platform/storage/app_home.h"
#include "platform/storage/bundle.h"
#include "platform/storage/file_manager.h"

std::string ZADApplicationVersion() { return platform::Bundle::mainBundle()->bundleVersion(); }

std::string ZADMainBundleIdentifier() { return platform::Bundle::mainBundle()->bundleIdentifier(); }

std::filesystem::path ZADiTunesMetadataPath() {
  return (platform::AppHome::documents() / ".." / "iTunesMetadata.plist").lexically_normal();
}

const platform::Dictionary& ZADiTunesMetadata() {
  static const platform::Dictionary metadata =
      ZADDictionaryFromPropertyListFile(ZADiTunesMetadataPath()).valueOr(platform::Dictionary());
  return metadata;
}

platform::Result<platform::Dictionary> ZADDictionaryFromPropertyListFile(
    const std::filesystem::path& path) {
  platform::Result<platform::Bytes> data = platform::FileManager::contentsOfFile(path);
  if (!data.ok()) {
    return zad_errorWithCode(kZADInternalErrorFileNotRead,
                             zad_localizedDescriptionForErrorCode(kZADInternalErrorFileNotRead));
  }
  platform::Result<platform::Value> parsed = platform::parsePropertyList(*data);
  if (!parsed.ok()) return parsed.error();
  if (const platform::Dictionary* dictionary = parsed->dictionaryIf()) return *dictionary;
  return zad_errorWithCode(kZADInternalErrorInvalidArgument,
                           zad_localizedDescriptionForErrorCode(kZADInternalErrorInvalidArgument));
}
