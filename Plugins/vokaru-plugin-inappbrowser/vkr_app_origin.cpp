#include "Plugins/vokaru-plugin-inappbrowser/vkr_app_origin.h"

namespace {

// The port a URL connects to: the written one, else its scheme's default (none for schemes
// without one).
std::optional<uint16_t> effectivePort(const platform::URL& url) {
  if (url.port()) return url.port();
  if (url.scheme() == "http") return 80;
  if (url.scheme() == "https") return 443;
  return std::nullopt;
}

// The lexically normal local path of a "file:" URL, so that "." and ".." (also escaped ones)
// cannot lead out of a folder.
std::optional<std::filesystem::path> normalPath(const platform::URL& url) {
  std::optional<std::string> path = url.filePath();
  if (!path || path->empty()) return std::nullopt;
  return std::filesystem::path(*path).lexically_normal();
}

}  // namespace

std::optional<VKRAppOrigin> VKRAppOrigin::of(const platform::URL& startPage) {
  if (!startPage.isAbsolute()) return std::nullopt;
  VKRAppOrigin origin;
  origin.scheme_ = startPage.scheme();
  if (startPage.isFileURL()) {
    std::optional<std::filesystem::path> page = normalPath(startPage);
    if (!page) return std::nullopt;
    origin.folder_ = page->parent_path();
    return origin;
  }
  std::optional<std::string> host = startPage.host();
  if (!host || host->empty()) return std::nullopt;
  origin.host_ = *host;
  origin.port_ = effectivePort(startPage);
  return origin;
}

bool VKRAppOrigin::contains(std::string_view text) const {
  platform::Result<platform::URL> url = platform::URL::parse(text);
  if (!url.ok() || !url->isAbsolute() || url->scheme() != scheme_) return false;
  if (folder_) {
    std::optional<std::filesystem::path> path = normalPath(*url);
    if (!path) return false;
    const std::filesystem::path inside = path->lexically_relative(*folder_);
    // A file in the folder or below; not the folder itself, nor anything above it.
    return !inside.empty() && inside != "." && *inside.begin() != "..";
  }
  std::optional<std::string> host = url->host();
  return host && *host == host_ && effectivePort(*url) == port_;
}
