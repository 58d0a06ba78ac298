#include "platform/storage/user_defaults.h"

#include <strings.h>
#include <sys/stat.h>

#include <charconv>
#include <cstdlib>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/system_info.h"
#include "platform/foundation/text_number.h"
#include "platform/storage/app_environment.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/stored_property_list.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

platform::Mutex standardMutex;
// Never destroyed: the exit handler below may still use it while statics are torn down.
std::shared_ptr<UserDefaults>& standardDefaults = *new std::shared_ptr<UserDefaults>();
uint64_t standardGeneration VKR_GUARDED_BY(standardMutex) = 0;

std::string numberText(const Value& value) {
  if (value.isReal()) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, *value.asDouble());
    return std::string(buffer, end);
  }
  return std::to_string(*value.asInteger());
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  std::shared_ptr<const AppEnvironment> environment = AppEnvironment::current();
  std::shared_ptr<UserDefaults> previous;  // let go of after the lock, as it may write
  platform::MutexLock lock(standardMutex);
  if (!standardDefaults || standardGeneration != environment->generation()) {
    previous = std::move(standardDefaults);
    standardDefaults =
        std::make_shared<UserDefaults>(environment->appHome() / "Library" / "Preferences" /
                                       (environment->storageName() + ".plist"));
    Value::Array languages;
    for (std::string& language : preferredLanguages()) languages.emplace_back(std::move(language));
    standardDefaults->registerDefaults({{"AppleLanguages", Value(std::move(languages))}});
    standardGeneration = environment->generation();
    static std::once_flag exitHook;
    std::call_once(exitHook, [] {
      std::atexit([] {
        std::shared_ptr<UserDefaults> defaults;
        {
          platform::MutexLock lock(standardMutex);
          defaults = standardDefaults;
        }
        if (defaults) defaults->synchronize();
      });
    });
  }
  return standardDefaults;
}

void UserDefaults::resetStandard() {
  std::shared_ptr<UserDefaults> previous;
  {
    platform::MutexLock lock(standardMutex);
    previous = std::move(standardDefaults);
  }
  if (previous) previous->synchronize();
}

UserDefaults::UserDefaults(fs::path file)
    : file_(std::move(file)), saveQueue_(makeSerialQueue("platform.user-defaults")) {
  platform::MutexLock lock(mutex_);
  loadLocked();
}

UserDefaults::~UserDefaults() {
  // A save still queued refers to this object: let it run first.
  saveQueue_->sync([] {});
  platform::MutexLock lock(mutex_);
  synchronizeLocked();
}

const Value* UserDefaults::lookup(std::string_view key) const {
  if (const Value* value = persistent_.find(key)) return value;
  return registered_.find(key);
}

Value UserDefaults::objectForKey(std::string_view key) const {
  platform::MutexLock lock(mutex_);
  const Value* value = lookup(key);
  return value ? *value : Value();
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
  Value value = objectForKey(key);
  if (std::string* text = value.stringIf()) return std::move(*text);
  if (value.isNumber()) return numberText(value);
  return std::nullopt;
}

bool UserDefaults::boolForKey(std::string_view key) const {
  Value value = objectForKey(key);
  if (const std::string* text = value.stringIf()) {
    if (strcasecmp(text->c_str(), "yes") == 0 || strcasecmp(text->c_str(), "true") == 0) {
      return true;
    }
    if (strcasecmp(text->c_str(), "no") == 0 || strcasecmp(text->c_str(), "false") == 0) {
      return false;
    }
    return integerValueOfText(*text) != 0;
  }
  return value.isReal() ? *value.asDouble() != 0 : value.intOr(0) != 0;
}

int64_t UserDefaults::integerForKey(std::string_view key) const {
  Value value = objectForKey(key);
  if (const std::string* text = value.stringIf()) return integerValueOfText(*text);
  return value.intOr(0);
}

double UserDefaults::doubleForKey(std::string_view key) const {
  Value value = objectForKey(key);
  if (const std::string* text = value.stringIf()) return doubleValueOfText(*text);
  return value.doubleOr(0);
}

std::optional<Value::Array> UserDefaults::arrayForKey(std::string_view key) const {
  Value value = objectForKey(key);
  if (Value::Array* items = value.arrayIf()) return std::move(*items);
  return std::nullopt;
}

std::optional<Dictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
  Value value = objectForKey(key);
  if (Dictionary* dict = value.dictionaryIf()) return std::move(*dict);
  return std::nullopt;
}

std::optional<Bytes> UserDefaults::dataForKey(std::string_view key) const {
  Value value = objectForKey(key);
  if (const Bytes* bytes = value.dataIf()) return *bytes;
  return std::nullopt;
}

Status UserDefaults::setObject(Value value, std::string_view key) {
  if (value.isNull()) {
    removeObjectForKey(key);
    return okStatus();
  }
  // The file must be able to hold every value: refuse now what could never be written.
  if (Result<Bytes> written = toPropertyList(value, PropertyListFormat::Binary); !written) {
    return written.error();
  }
  {
    platform::MutexLock lock(mutex_);
    persistent_.set(std::string(key), std::move(value));
    changed(key);
  }
  NotificationCenter::defaultCenter().post(kUserDefaultsDidChangeNotification, this);
  return okStatus();
}

void UserDefaults::removeObjectForKey(std::string_view key) {
  {
    platform::MutexLock lock(mutex_);
    if (!persistent_.remove(key)) return;
    changed(key);
  }
  NotificationCenter::defaultCenter().post(kUserDefaultsDidChangeNotification, this);
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
  platform::MutexLock lock(mutex_);
  for (const auto& [key, value] : defaults) registered_.set(key, value);
}

bool UserDefaults::synchronize() {
  platform::MutexLock lock(mutex_);
  return synchronizeLocked();
}

void UserDefaults::changed(std::string_view key) {
  pending_.emplace(key);
  if (saveScheduled_) return;
  saveScheduled_ = true;
  saveQueue_->async([this] {
    platform::MutexLock lock(mutex_);
    saveScheduled_ = false;
    synchronizeLocked();
  });
}

UserDefaults::FileSignature UserDefaults::signature() const {
  struct stat info {};
  if (stat(file_.c_str(), &info) != 0) return {};
  return {true, static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
          static_cast<uint64_t>(info.st_size),
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

void UserDefaults::loadLocked() {
  persistent_ = readStoredDictionary(file_, "user defaults");
  lastSeen_ = signature();
}

bool UserDefaults::synchronizeLocked() {
  if (signature() != lastSeen_) {
    // Someone else wrote the file: take their values, except for keys changed here since.
    Dictionary mine = std::move(persistent_);
    loadLocked();
    for (const std::string& key : pending_) {
      if (const Value* value = mine.find(key)) {
        persistent_.set(key, *value);
      } else {
        persistent_.remove(key);
      }
    }
  }
  if (pending_.empty()) return true;
  if (Status written = writeStoredDictionary(file_, persistent_, 0600); !written) {
    logf("Cannot save user defaults to %s: %s", file_.c_str(),
         written.error().localizedDescription().c_str());
    return false;
  }
  pending_.clear();
  lastSeen_ = signature();
  return true;
}

}  // namespace platform
