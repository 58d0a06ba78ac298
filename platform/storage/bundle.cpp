#include "platform/storage/bundle.h"

#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/system_info.h"
#include "platform/storage/app_environment.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/strings_table.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

Dictionary readInfo(const fs::path& folder) {
  fs::path file = folder / "Info.plist";
  if (!FileManager::fileExists(file)) return {};
  Result<Bytes> content = FileManager::contentsOfFile(file);
  if (!content) {
    logf("Cannot read %s: %s", file.c_str(), content.error().localizedDescription().c_str());
    return {};
  }
  Result<Value> info = parsePropertyList(*content);
  if (!info || !info->isDictionary()) {
    logf("%s is not a property-list dictionary: %s", file.c_str(),
         info ? "another kind of value" : info.error().localizedDescription().c_str());
    return {};
  }
  return std::move(*info->dictionaryIf());
}

// Whether a relative path stays below its base: not absolute, no ".." step.
bool staysInside(const fs::path& relative) {
  if (relative.is_absolute() || relative.has_root_name()) return false;
  for (const fs::path& step : relative) {
    if (step == "..") return false;
  }
  return true;
}

}  // namespace

Bundle::Bundle(fs::path folder) : path_(std::move(folder)), info_(readInfo(path_)) {}

std::shared_ptr<const Bundle> Bundle::mainBundle() {
  std::shared_ptr<const AppEnvironment> environment = AppEnvironment::current();
  // The bundle lives as long as the environment that owns it.
  return std::shared_ptr<const Bundle>(environment, &environment->mainBundle());
}

const Value& Bundle::objectForInfoDictionaryKey(std::string_view key) const {
  static const Value kNull;
  const Value* value = info_.find(key);
  return value ? *value : kNull;
}

std::string Bundle::text(std::string_view key) const {
  const std::string* value = objectForInfoDictionaryKey(key).stringIf();
  return value ? *value : "";
}

std::string Bundle::bundleIdentifier() const { return text("CFBundleIdentifier"); }
std::string Bundle::shortVersionString() const { return text("CFBundleShortVersionString"); }
std::string Bundle::bundleVersion() const { return text("CFBundleVersion"); }

std::string Bundle::displayName() const {
  std::string name = text("CFBundleDisplayName");
  return name.empty() ? text("CFBundleName") : name;
}

std::optional<fs::path> Bundle::pathForResource(std::string_view name, std::string_view type,
                                                std::string_view directory) const {
  if (name.empty()) return std::nullopt;
  std::string file(name);
  if (!type.empty()) file += (type.front() == '.' ? "" : ".") + std::string(type);
  fs::path relative = fs::path(directory) / file;
  if (!staysInside(relative)) return std::nullopt;
  fs::path path = path_ / relative;
  if (!FileManager::fileExists(path)) return std::nullopt;
  return path;
}

std::string Bundle::localizedString(std::string_view key, std::string_view table) const {
  return localizedStringIfPresent(key, table).value_or(std::string(key));
}

std::optional<std::string> Bundle::localizedStringIfPresent(std::string_view key,
                                                            std::string_view table) const {
  std::vector<std::string> folders;
  for (const std::string& language : preferredLanguages()) {
    folders.push_back(language + ".lproj");
    size_t region = language.find_first_of("-_");
    if (region != std::string::npos) folders.push_back(language.substr(0, region) + ".lproj");
  }
  folders.push_back("Base.lproj");
  for (const std::string& folder : folders) {
    std::optional<fs::path> file = pathForResource(table, "strings", folder);
    if (!file) continue;
    Result<Bytes> content = FileManager::contentsOfFile(*file);
    if (!content) continue;
    Result<Dictionary> strings = parseStringsTable(stringOf(*content));
    if (!strings) {
      logf("Cannot read %s: %s", file->c_str(), strings.error().localizedDescription().c_str());
      continue;
    }
    if (const std::string* text = strings->find(key) ? strings->find(key)->stringIf() : nullptr) {
      return *text;
    }
  }
  return std::nullopt;
}

}  // namespace platform
