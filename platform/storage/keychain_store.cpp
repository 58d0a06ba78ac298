#include "platform/storage/keychain_store.h"

#include <sys/stat.h>

#include <optional>
#include <utility>

#include "platform/foundation/log.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/stored_property_list.h"

namespace platform {

namespace fs = std::filesystem;

KeychainStore::KeychainStore(fs::path folder)
    : file_(std::move(folder) / "keychain.plist"),
      classes_(readStoredDictionary(file_, "keychain")),
      writeQueue_(makeSerialQueue("platform.keychain")) {}

KeychainStore::~KeychainStore() {
  // A write still queued refers to this object: let it run first.
  writeQueue_->sync([] {});
  writePending();
}

void KeychainStore::read(std::string_view itemClass,
                         const std::function<void(const Value::Array&)>& read) const {
  static const Value::Array kNone;
  platform::MutexLock lock(mutex_);
  const Value* records = classes_.find(itemClass);
  const Value::Array* items = records ? records->arrayIf() : nullptr;
  read(items ? *items : kNone);
}

KeychainStatus KeychainStore::modify(std::string_view itemClass,
                                     const std::function<KeychainStatus(Value::Array&)>& change,
                                     KeychainWrite write) {
  std::optional<platform::MutexLock> writing;
  if (write == KeychainWrite::Now) writing.emplace(writeMutex_);
  platform::MutexLock lock(mutex_);
  Value* stored = classes_.find(itemClass);
  Value::Array records = stored && stored->arrayIf() ? *stored->arrayIf() : Value::Array();
  Value::Array before = records;
  KeychainStatus status = change(records);
  if (status != kKeychainSuccess || records == before) return status;

  Dictionary updated = classes_;
  updated.set(std::string(itemClass), Value(std::move(records)));
  if (write == KeychainWrite::Soon) {
    classes_ = std::move(updated);
    ++changes_;
    if (!std::exchange(writeScheduled_, true)) writeQueue_->async([this] { writePending(); });
    return kKeychainSuccess;
  }
  if (Status written = writeFile(updated); !written) {
    logf("Cannot write the keychain file %s: %s", file_.c_str(),
         written.error().localizedDescription().c_str());
    return kKeychainIOError;
  }
  classes_ = std::move(updated);
  written_ = ++changes_;
  return kKeychainSuccess;
}

Status KeychainStore::writeFile(const Dictionary& classes) const {
  // The folder is private: it holds secrets. Create it so, and tighten one made by others.
  fs::path folder = file_.parent_path();
  Status written = FileManager::createDirectory(folder);
  if (written && chmod(folder.c_str(), 0700) != 0) {
    written = FileManager::errorForErrno(errno, folder, FileManager::Access::Write);
  }
  if (written) written = writeStoredDictionary(file_, classes, 0600);
  return written;
}

void KeychainStore::writePending() {
  platform::MutexLock writing(writeMutex_);
  Dictionary classes;
  uint64_t changes = 0;
  {
    platform::MutexLock lock(mutex_);
    writeScheduled_ = false;
    if (written_ == changes_) return;
    classes = classes_;
    changes = changes_;
  }
  // Readers and changes made soon go on meanwhile; the next write takes those along.
  if (Status written = writeFile(classes); !written) {
    logf("Cannot write the keychain file %s: %s", file_.c_str(),
         written.error().localizedDescription().c_str());
    return;
  }
  platform::MutexLock lock(mutex_);
  written_ = changes;
}

}  // namespace platform
