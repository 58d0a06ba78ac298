#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform {

// A dictionary kept as a binary property-list file, as user defaults and the keychain keep theirs.

// The file's dictionary; empty when there is no file. A file that is not a property-list
// dictionary is logged (naming it as `what`), renamed to "<file>.corrupt" (replacing an older
// one) so that its content is kept for inspection but never read again, and read as empty. A file
// that cannot be read at all is logged and read as empty.
Dictionary readStoredDictionary(const std::filesystem::path& file, std::string_view what);

// Replaces the file atomically with the dictionary, creating missing parent folders.
Status writeStoredDictionary(const std::filesystem::path& file, const Dictionary& dictionary,
                             mode_t mode);

}  // namespace platform
