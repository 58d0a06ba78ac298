#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

namespace platform {

// Keychain results, with the platform's status codes.
using KeychainStatus = int32_t;
inline constexpr KeychainStatus kKeychainSuccess = 0;
inline constexpr KeychainStatus kKeychainIOError = -36;  // the keychain file could not be written
inline constexpr KeychainStatus kKeychainDuplicateItem = -25299;
inline constexpr KeychainStatus kKeychainItemNotFound = -25300;

// The keychain's file: the records of every item class in one binary property list,
// "keychain.plist" in the keychain folder (mode 0700; the file 0600). Records are kept in memory
// and the file is rewritten atomically on every change, so a change is on disk when its status
// comes back and a writer that dies half-way leaves the previous file whole. An unreadable file is
// logged, set aside and treated as empty.
//
// Each item class (generic passwords; keys later) keeps its records, dictionaries of its own
// making, under its own name and never touches the others'. Thread-safe.
class KeychainStore {
 public:
  explicit KeychainStore(std::filesystem::path folder);
  KeychainStore(const KeychainStore&) = delete;
  KeychainStore& operator=(const KeychainStore&) = delete;

  const std::filesystem::path& file() const { return file_; }

  // Runs `read` on the class's records, under the store's lock.
  void read(std::string_view itemClass,
            const std::function<void(const Value::Array& records)>& read) const;

  // Runs `change` on the class's records, under the store's lock. When it answers success and
  // the records changed, the file is rewritten; if that fails, the records are put back as they
  // were and kKeychainIOError is answered. Otherwise answers what `change` answered.
  KeychainStatus modify(std::string_view itemClass,
                        const std::function<KeychainStatus(Value::Array& records)>& change);

 private:
  const std::filesystem::path file_;
  mutable platform::Mutex mutex_;
  Dictionary classes_ VKR_GUARDED_BY(mutex_);  // item class name → array of records
};

}  // namespace platform
