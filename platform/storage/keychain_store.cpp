#include "platform/storage/keychain_store.h"

#include <sys/stat.h>

#include "platform/foundation/log.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/stored_property_list.h"

namespace platform {

namespace fs = std::filesystem;

KeychainStore::KeychainStore(fs::path folder)
    : file_(std::move(folder) / "keychain.plist"),
      classes_(readStoredDictionary(file_, "keychain")) {}

void KeychainStore::read(std::string_view itemClass,
                         const std::function<void(const Value::Array&)>& read) const {
  static const Value::Array kNone;
  platform::MutexLock lock(mutex_);
  const Value* records = classes_.find(itemClass);
  const Value::Array* items = records ? records->arrayIf() : nullptr;
  read(items ? *items : kNone);
}

KeychainStatus KeychainStore::modify(std::string_view itemClass,
                                     const std::function<KeychainStatus(Value::Array&)>& change) {
  platform::MutexLock lock(mutex_);
  Value* stored = classes_.find(itemClass);
  Value::Array records = stored && stored->arrayIf() ? *stored->arrayIf() : Value::Array();
  Value::Array before = records;
  KeychainStatus status = change(records);
  if (status != kKeychainSuccess || records == before) return status;

  Dictionary updated = classes_;
  updated.set(std::string(itemClass), Value(std::move(records)));
  // The folder is private: it holds secrets. Create it so, and tighten one made by others.
  fs::path folder = file_.parent_path();
  Status written = FileManager::createDirectory(folder);
  if (written && chmod(folder.c_str(), 0700) != 0) {
    written = FileManager::errorForErrno(errno, folder, FileManager::Access::Write);
  }
  if (written) written = writeStoredDictionary(file_, updated, 0600);
  if (!written) {
    logf("Cannot write the keychain file %s: %s", file_.c_str(),
         written.error().localizedDescription().c_str());
    return kKeychainIOError;
  }
  classes_ = std::move(updated);
  return kKeychainSuccess;
}

}  // namespace platform
