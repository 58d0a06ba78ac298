#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/url.h"

// A file named by a "vkrfile://localhost/<file system>/<full path>" URL (or an "assets-library:"
// URL, which names the photo library): the file system's name and the path inside it. A plain
// value, parsed once when made; both parts are absent when the URL names no file system.
class VKRFilesystemURL {
 public:
  explicit VKRFilesystemURL(std::optional<platform::URL> url);
  static VKRFilesystemURL fileSystemURLWithURL(const platform::URL& url);
  // Text that is not a URL gives a value without URL, name or path.
  static VKRFilesystemURL fileSystemURLWithString(std::string_view text);

  const std::optional<platform::URL>& url() const { return url_; }
  const std::optional<std::string>& fileSystemName() const { return fileSystemName_; }
  // Begins with "/", "" for the file system itself; may end with "?<query>".
  const std::optional<std::string>& fullPath() const { return fullPath_; }

  // "vkrfile://localhost/<name><full path>", the path escaped where a URL needs it.
  std::string absoluteURL() const;

 private:
  std::optional<platform::URL> url_;
  std::optional<std::string> fileSystemName_;
  std::optional<std::string> fullPath_;
};
