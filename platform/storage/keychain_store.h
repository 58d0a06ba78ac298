#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

namespace platform {

// Keychain results, with the platform's status codes.
using KeychainStatus = int32_t;
inline constexpr KeychainStatus kKeychainSuccess = 0;
inline constexpr KeychainStatus kKeychainIOError = -36;  // the keychain file could not be written
inline constexpr KeychainStatus kKeychainDuplicateItem = -25299;
inline constexpr KeychainStatus kKeychainItemNotFound = -25300;

// When a change reaches the disk.
enum class KeychainWrite {
  // Before its status comes back.
  Now,
  // Soon after, on a queue of the store's, together with the changes made meanwhile: for items
  // that can be made again (caches), so a caller does not wait for the disk. Until then the change
  // is read back as made; a write that fails is logged and taken along by the next one.
  Soon,
};

// The keychain's file: the records of every item class in one binary property list,
// "keychain.plist" in the keychain folder (mode 0700; the file 0600). Records are kept in memory
// and the file is rewritten atomically on every change, so a change is on disk when its status
// comes back (unless it asked to be written soon) and a writer that dies half-way leaves the
// previous file whole. An unreadable file is logged, set aside and treated as empty.
//
// Each item class (generic passwords; keys later) keeps its records, dictionaries of its own
// making, under its own name and never touches the others'. Thread-safe.
class KeychainStore {
 public:
  explicit KeychainStore(std::filesystem::path folder);
  // Writes what is still to be written.
  ~KeychainStore();
  KeychainStore(const KeychainStore&) = delete;
  KeychainStore& operator=(const KeychainStore&) = delete;

  const std::filesystem::path& file() const { return file_; }

  // Runs `read` on the class's records, under the store's lock.
  void read(std::string_view itemClass,
            const std::function<void(const Value::Array& records)>& read) const;

  // Runs `change` on the class's records, under the store's lock. When it answers success and
  // the records changed, the file is rewritten (now, or soon after for KeychainWrite::Soon); if
  // writing now fails, the records are put back as they were and kKeychainIOError is answered.
  // Otherwise answers what `change` answered.
  KeychainStatus modify(std::string_view itemClass,
                        const std::function<KeychainStatus(Value::Array& records)>& change,
                        KeychainWrite write = KeychainWrite::Now);

 private:
  // Writes the records to the file, creating the private folder.
  Status writeFile(const Dictionary& classes) const;
  // Writes the changes left for later, if any, without keeping readers waiting on the disk.
  void writePending();

  const std::filesystem::path file_;
  // Taken before mutex_ by whoever writes the file, so writes land in the order of their content.
  platform::Mutex writeMutex_;
  mutable platform::Mutex mutex_;
  Dictionary classes_ VKR_GUARDED_BY(mutex_);  // item class name → array of records
  // Counts the changes made in memory, and tells which of them the file holds.
  uint64_t changes_ VKR_GUARDED_BY(mutex_) = 0;
  uint64_t written_ VKR_GUARDED_BY(mutex_) = 0;
  bool writeScheduled_ VKR_GUARDED_BY(mutex_) = false;
  QueuePtr writeQueue_;
};

}  // namespace platform
