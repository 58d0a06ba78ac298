#pragma once

// Facts about the host app that the ads engine reports with its requests.

#include <filesystem>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

// The app's bundle version ("CFBundleVersion"); "" when missing.
std::string ZADApplicationVersion();
// The app's bundle identifier.
std::string ZADMainBundleIdentifier();
// The store's metadata file at the root of the app's container: "../iTunesMetadata.plist"
// beside the documents folder.
std::filesystem::path ZADiTunesMetadataPath();
// That file's dictionary, read once per process; empty when it is missing or no dictionary.
const platform::Dictionary& ZADiTunesMetadata();

// The property-list dictionary in the file: the internal error 1 "File could not be read." for a
// missing or unreadable file, an error too for one that is no property-list dictionary.
platform::Result<platform::Dictionary> ZADDictionaryFromPropertyListFile(
    const std::filesystem::path& path);
