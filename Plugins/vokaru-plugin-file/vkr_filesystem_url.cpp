#include "Plugins/vokaru-plugin-file/vkr_filesystem_url.h"

#include "platform/foundation/percent_encoding.h"

namespace {

constexpr std::string_view kAssetsLibraryScheme = "assets-library";

bool isLocalFileURL(const platform::URL& url) {
  return url.scheme() == "vkrfile" && url.host() == "localhost";
}

}  // namespace

VKRFilesystemURL::VKRFilesystemURL(std::optional<platform::URL> url) : url_(std::move(url)) {
  if (!url_) return;
  if (isLocalFileURL(*url_)) {
    const std::vector<std::string> components = url_->pathComponents();
    if (components.size() >= 2) fileSystemName_ = components[1];
    std::string path = url_->path();
    if (url_->query()) path += "?" + *url_->query();
    const size_t slash = path.size() > 1 ? path.find('/', 1) : std::string::npos;
    fullPath_ = slash == std::string::npos ? std::string() : path.substr(slash);
  } else if (url_->scheme() == kAssetsLibraryScheme) {
    fileSystemName_ = std::string(kAssetsLibraryScheme);
    // What follows "assets-library:/", so the path begins with the "/" before the host.
    const std::string& text = url_->absoluteString();
    const size_t prefix = kAssetsLibraryScheme.size() + 2;
    fullPath_ = text.size() > prefix ? text.substr(prefix) : std::string();
  }
}

VKRFilesystemURL VKRFilesystemURL::fileSystemURLWithURL(const platform::URL& url) {
  return VKRFilesystemURL(url);
}

VKRFilesystemURL VKRFilesystemURL::fileSystemURLWithString(std::string_view text) {
  platform::Result<platform::URL> url = platform::URL::parse(text);
  return VKRFilesystemURL(url.ok() ? std::optional<platform::URL>(*url) : std::nullopt);
}

std::string VKRFilesystemURL::absoluteURL() const {
  const std::string& fullPath = fullPath_ ? *fullPath_ : std::string();
  // The query was kept as the URL wrote it; the path was decoded and is escaped again, so a name
  // holding "%", "#" or a space still reads back as the same file.
  const size_t question = fullPath.find('?');
  std::string formed =
      "vkrfile://localhost/" + fileSystemName_.value_or("") +
      platform::percentEncode(fullPath.substr(0, question), platform::kURLPathAllowed);
  if (question != std::string::npos) formed += fullPath.substr(question);
  return formed;
}
