#include "platform/storage/stored_property_list.h"

#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/storage/file_manager.h"

namespace platform {

namespace fs = std::filesystem;

Dictionary readStoredDictionary(const fs::path& file, std::string_view what) {
  if (!FileManager::fileExists(file)) return {};
  Result<Bytes> content = FileManager::contentsOfFile(file);
  if (!content) {
    logf("Cannot read the %.*s file %s: %s", static_cast<int>(what.size()), what.data(),
         file.c_str(), content.error().localizedDescription().c_str());
    return {};
  }
  Result<Value> value = parsePropertyList(*content);
  if (value && value->isDictionary()) return std::move(*value->dictionaryIf());
  fs::path aside = file;
  aside += ".corrupt";
  std::error_code ec;
  fs::rename(file, aside, ec);
  logf("The %.*s file %s is not a property-list dictionary (%s); set aside as %s, starting empty",
       static_cast<int>(what.size()), what.data(), file.c_str(),
       value ? "another kind of value" : value.error().localizedDescription().c_str(),
       ec ? "nothing: it could not be renamed" : aside.c_str());
  return {};
}

Status writeStoredDictionary(const fs::path& file, const Dictionary& dictionary, mode_t mode) {
  Result<Bytes> content = toPropertyList(Value(dictionary), PropertyListFormat::Binary);
  if (!content) return content.error();
  if (Status folder = FileManager::createDirectory(file.parent_path()); !folder) return folder;
  return FileManager::writeAtomically(file, *content, mode);
}

}  // namespace platform
