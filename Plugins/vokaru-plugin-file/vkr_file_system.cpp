#include "Plugins/vokaru-plugin-file/vkr_file_system.h"

VKRPluginResult vkrFileErrorResult(int32_t status, int32_t code) {
  return VKRPluginResult::resultWithStatus(status, code);
}

platform::Dictionary VKRFileSystem::entry(const std::string& fullPath, const std::string& name,
                                          bool isDirectory,
                                          const std::optional<std::string>& nativeURL) const {
  std::string path = fullPath;
  if (isDirectory && !path.ends_with('/')) path += '/';
  platform::Dictionary dictionary{
      {"isFile", !isDirectory}, {"isDirectory", isDirectory}, {"fullPath", path},
      {"name", name},           {"filesystemName", name_},
  };
  if (nativeURL) {
    dictionary.set("nativeURL", urlTransformer_ ? urlTransformer_(*nativeURL) : *nativeURL);
  }
  return dictionary;
}
