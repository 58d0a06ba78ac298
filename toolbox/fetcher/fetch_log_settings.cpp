#include "toolbox/fetcher/fetch_log_settings.h"

#include <ctime>

#include "platform/dispatch/clock.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"

namespace fetch_log_settings {

namespace {

struct Settings {
  platform::Mutex mutex;
  bool enabled VKR_GUARDED_BY(mutex) = false;
  bool toFile VKR_GUARDED_BY(mutex) = true;
  std::optional<std::filesystem::path> directory VKR_GUARDED_BY(mutex);
  std::optional<std::filesystem::path> runDirectory VKR_GUARDED_BY(mutex);
  std::optional<std::string> processName VKR_GUARDED_BY(mutex);
  std::optional<std::string> dateStamp VKR_GUARDED_BY(mutex);
  std::optional<std::string> prefix VKR_GUARDED_BY(mutex);
  int counter VKR_GUARDED_BY(mutex) = 0;
  bool reported VKR_GUARDED_BY(mutex) = false;
};

Settings& settings() {
  static Settings* shared = new Settings();
  return *shared;
}

std::string processNameLocked(Settings& s) VKR_REQUIRES(s.mutex) {
  if (!s.processName) {
    std::string name = program_invocation_short_name;
    for (char& c : name) {
      if (c == ' ') c = '_';
    }
    s.processName = name;
  }
  return *s.processName;
}

std::string dateStampLocked(Settings& s) VKR_REQUIRES(s.mutex) {
  if (!s.dateStamp) {
    const auto seconds = static_cast<time_t>(platform::now().secondsSince1970);
    struct tm local {};
    localtime_r(&seconds, &local);
    char text[64];
    const int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    std::snprintf(text, sizeof text, "%d-%02d_%02d-%02d-%02d%s", local.tm_mon + 1, local.tm_mday,
                  hour, local.tm_min, local.tm_sec, local.tm_hour < 12 ? "AM" : "PM");
    s.dateStamp = text;
  }
  return *s.dateStamp;
}

std::optional<std::filesystem::path> directoryLocked(Settings& s) VKR_REQUIRES(s.mutex) {
  if (!s.directory) {
    const std::filesystem::path made = platform::AppHome::documents() / kDirectoryName;
    if (!platform::FileManager::createDirectory(made, true).ok()) return std::nullopt;
    s.directory = made;
  }
  return s.directory;
}

}  // namespace

bool enabled() {
  platform::MutexLock lock(settings().mutex);
  return settings().enabled;
}

void setEnabled(bool enabled) {
  platform::MutexLock lock(settings().mutex);
  settings().enabled = enabled;
}

bool toFile() {
  platform::MutexLock lock(settings().mutex);
  return settings().toFile;
}

void setToFile(bool toFile) {
  platform::MutexLock lock(settings().mutex);
  settings().toFile = toFile;
}

std::optional<std::filesystem::path> directory() {
  platform::MutexLock lock(settings().mutex);
  return directoryLocked(settings());
}

void setDirectory(std::optional<std::filesystem::path> directory) {
  platform::MutexLock lock(settings().mutex);
  settings().directory = std::move(directory);
}

std::optional<std::filesystem::path> runDirectory() {
  Settings& s = settings();
  platform::MutexLock lock(s.mutex);
  if (s.runDirectory) return s.runDirectory;
  std::optional<std::filesystem::path> parent = directoryLocked(s);
  if (!parent) return std::nullopt;
  if (!s.prefix) s.prefix = processNameLocked(s) + "_log_";
  const std::filesystem::path base = *parent / (*s.prefix + dateStampLocked(s));
  if (!s.toFile) {
    s.runDirectory = base;
    return s.runDirectory;
  }
  std::filesystem::path chosen = base;
  for (int suffix = 2; platform::FileManager::fileExists(chosen) && suffix <= 19; ++suffix) {
    chosen = base.string() + "_" + std::to_string(suffix);
  }
  if (!platform::FileManager::createDirectory(chosen, true).ok()) return std::nullopt;
  s.runDirectory = chosen;
  return s.runDirectory;
}

void setRunDirectory(std::optional<std::filesystem::path> directory) {
  platform::MutexLock lock(settings().mutex);
  settings().runDirectory = std::move(directory);
}

std::string processName() {
  platform::MutexLock lock(settings().mutex);
  return processNameLocked(settings());
}

void setProcessName(std::string name) {
  platform::MutexLock lock(settings().mutex);
  settings().processName = std::move(name);
}

std::string dateStamp() {
  platform::MutexLock lock(settings().mutex);
  return dateStampLocked(settings());
}

void setDateStamp(std::string stamp) {
  platform::MutexLock lock(settings().mutex);
  settings().dateStamp = std::move(stamp);
}

std::string processNamePrefix() {
  Settings& s = settings();
  platform::MutexLock lock(s.mutex);
  if (!s.prefix) s.prefix = processNameLocked(s) + "_log_";
  return *s.prefix;
}

int nextFetchNumber() {
  platform::MutexLock lock(settings().mutex);
  return ++settings().counter;
}

bool takeFirstReport() {
  platform::MutexLock lock(settings().mutex);
  return !std::exchange(settings().reported, true);
}

}  // namespace fetch_log_settings
