// Arbitrary URL text and names through file-system URL parsing and a folder file system's path
// mapping. Whatever a page gives, every device path the file system answers stays under its root.
// Input: "<URL or path>\n<name>".
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Plugins/vokaru-plugin-file/vkr_local_filesystem.h"

namespace {

namespace fs = std::filesystem;

void check(bool condition) {
  if (!condition) std::abort();
}

std::string& base() {
  static std::string path;
  return path;
}

// A folder with a subfolder, made once and removed at exit; getFile only looks at it.
const std::string& root() {
  static const std::string path = [] {
    base() = (fs::temp_directory_path() / "vokaru-fuzz-XXXXXX").string();
    check(mkdtemp(base().data()) != nullptr);
    std::atexit([] { fs::remove_all(base()); });
    fs::create_directories(base() + "/persistent/sub");
    return base() + "/persistent";
  }();
  return path;
}

void checkUnderRoot(const std::optional<std::string>& path) {
  if (!path) return;
  check(path->find('\0') == std::string::npos);
  for (const fs::path& component : fs::path(*path)) check(component != "..");
  std::string normal = fs::path(*path).lexically_normal().string();
  while (normal.size() > 1 && normal.ends_with('/')) normal.pop_back();
  check(normal == root() || normal.starts_with(root() + "/"));
}

void checkURL(VKRLocalFilesystem& fileSystem, const VKRFilesystemURL& url, std::string_view name) {
  checkUnderRoot(fileSystem.filesystemPathForURL(url));
  checkUnderRoot(fileSystem.filesystemPathForURL(
      VKRFilesystemURL::fileSystemURLWithString(url.absoluteURL())));
  VKRPluginResult found = fileSystem.getFileForURL(url, std::string(name), {});
  if (found.status() == kVKRCommandStatusOK) {
    const platform::Value& entry = found.message();
    checkUnderRoot(fileSystem.filesystemPathForFullPath(entry["fullPath"].stringOr("")));
    platform::Result<platform::URL> nativeURL =
        platform::URL::parse(entry["nativeURL"].stringOr(""));
    check(nativeURL.ok());
    checkUnderRoot(nativeURL->filePath());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static VKRLocalFilesystem fileSystem("persistent", root());
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string_view text = input.substr(0, newline);
  const std::string_view name =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

  checkURL(fileSystem, VKRFilesystemURL::fileSystemURLWithString(text), name);
  checkURL(fileSystem,
           VKRFilesystemURL::fileSystemURLWithString("vkrfile://localhost/persistent" +
                                                     std::string(text)),
           name);
  checkUnderRoot(fileSystem.filesystemPathForFullPath(text));
  std::optional<VKRFilesystemURL> fromDevice = fileSystem.URLforFilesystemPath(text);
  if (fromDevice) checkUnderRoot(fileSystem.filesystemPathForURL(*fromDevice));
  return 0;
}
