#include "platform/storage/app_container.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

namespace platform {

namespace {

// As many links as the kernel follows in one lookup.
constexpr int kMaxLinks = 40;

std::deque<std::string> componentsOf(std::string_view path) {
  std::deque<std::string> components;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    std::string_view component = path.substr(0, slash);
    if (!component.empty()) components.emplace_back(component);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return components;
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string joined(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// Whether the path is the folder or inside it ("<folder>2" is not).
bool within(std::string_view path, std::string_view folder) {
  if (folder.empty() || !path.starts_with(folder)) return false;
  return path.size() == folder.size() || folder == "/" || path[folder.size()] == '/';
}

bool withinAny(std::string_view path, const std::vector<std::string>& folders) {
  return std::any_of(folders.begin(), folders.end(),
                     [path](const std::string& folder) { return within(path, folder); });
}

}  // namespace

std::string resolvedDevicePath(std::string_view path) {
  if (!path.starts_with('/')) return "";
  std::deque<std::string> pending = componentsOf(path);
  std::string resolved = "/";
  bool exists = true;  // once a component is missing, no later one can be a link
  int links = 0;
  while (!pending.empty()) {
    std::string component = std::move(pending.front());
    pending.pop_front();
    if (component == ".") continue;
    if (component == "..") {
      resolved = parentOf(resolved);
      continue;
    }
    const std::string next = joined(resolved, component);
    struct stat info {};
    if (!exists || ::lstat(next.c_str(), &info) != 0) {
      exists = false;
      resolved = next;
      continue;
    }
    if (!S_ISLNK(info.st_mode)) {
      resolved = next;
      continue;
    }
    if (++links > kMaxLinks) return "";
    std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 0) + 256, '\0');
    const ssize_t length = ::readlink(next.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) return "";
    target.resize(static_cast<size_t>(length));
    std::deque<std::string> linked = componentsOf(target);
    pending.insert(pending.begin(), linked.begin(), linked.end());
    if (target.starts_with('/')) resolved = "/";
  }
  return resolved;
}

AppContainer AppContainer::of(const std::filesystem::path& bundle,
                              const std::filesystem::path& appHome,
                              const std::filesystem::path& keychainFolder) {
  auto resolved = [](const std::filesystem::path& folder) {
    std::error_code ignored;
    return resolvedDevicePath(std::filesystem::absolute(folder, ignored).string());
  };
  AppContainer container;
  container.readOnly.push_back(resolved(bundle));
  container.readWrite.push_back(resolved(appHome));
  container.excluded.push_back(resolved(keychainFolder));
  return container;
}

ContainerAccess AppContainer::access(std::string_view path) const {
  const std::string resolved = resolvedDevicePath(path);
  if (resolved.empty() || withinAny(resolved, excluded)) return ContainerAccess::None;
  if (withinAny(resolved, readWrite)) return ContainerAccess::ReadWrite;
  if (withinAny(resolved, readOnly)) return ContainerAccess::Read;
  return ContainerAccess::None;
}

}  // namespace platform
