#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::media {

// The MIME type of a file extension (without the dot, any letter case): the common types from a
// table of our own, so answers don't vary with the host, then the shared MIME database's
// confident guesses. Nothing for an empty or unknown extension.
std::optional<std::string> mimeTypeForExtension(std::string_view extension);

// The extension of a path's last component (after its last "."), or "" when it has none.
std::string pathExtension(std::string_view path);

}  // namespace platform::media
