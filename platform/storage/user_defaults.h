#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"

namespace platform {

// Posted on the default notification center, from the changing thread, after every change.
inline constexpr const char* kUserDefaultsDidChangeNotification =
    "NSUserDefaultsDidChangeNotification";

// The app's preferences: a persistent domain kept in a property-list file, over an in-memory
// registration domain of fallbacks. A key's value is the persistent one when set, else the
// registered one. Thread-safe: use from any thread.
//
// Changes are written to the file in the background soon after they are made, and at once by
// synchronize(). Each write replaces the file atomically, so a writer that dies half-way leaves
// the previous file whole. A file that is not a readable property-list dictionary is logged, set
// aside as "<file>.corrupt" and treated as empty.
class UserDefaults {
 public:
  // The app's standard defaults: <app home>/Library/Preferences/<bundle id>.plist of the current
  // app environment, with the registration domain holding "AppleLanguages" (the user's preferred
  // languages). Made anew when the environment changes.
  static std::shared_ptr<UserDefaults> standard();
  // Writes the standard defaults' pending changes and drops them; the next standard() makes a
  // new object. For the end of tests, before their app home is removed.
  static void resetStandard();

  // Defaults kept in the given property-list file (created on the first write).
  explicit UserDefaults(std::filesystem::path file);
  // Writes what is still pending.
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::filesystem::path& file() const { return file_; }

  // The value for the key; null when neither domain has it.
  Value objectForKey(std::string_view key) const;
  // Typed reads with the platform's coercions:
  // - text: text as is, a number as its decimal text; else nothing.
  std::optional<std::string> stringForKey(std::string_view key) const;
  // - bool: a number is true when not zero; text "YES"/"true" (any case) is true, "NO"/"false"
  //   false, other text by its leading integer; anything else false.
  bool boolForKey(std::string_view key) const;
  // - integer and double: a number (a real truncated toward zero for integers), text by its
  //   leading number; anything else 0.
  int64_t integerForKey(std::string_view key) const;
  double doubleForKey(std::string_view key) const;
  // - array, dictionary and data: only a value of that type; else nothing.
  std::optional<Value::Array> arrayForKey(std::string_view key) const;
  std::optional<Dictionary> dictionaryForKey(std::string_view key) const;
  std::optional<Bytes> dataForKey(std::string_view key) const;

  // Sets a persistent value; null removes the key. A value a property list cannot hold (a null
  // inside an array, text that is not UTF-8, ...) is refused with the writer's error and nothing
  // changes.
  Status setObject(Value value, std::string_view key);
  void removeObjectForKey(std::string_view key);

  // Adds fallbacks to the registration domain (replacing earlier ones with the same keys). They
  // are never written to the file.
  void registerDefaults(const Dictionary& defaults);

  // Writes pending changes now, first taking in changes others made to the file meanwhile (for
  // keys this object has not changed since its last write). Answers whether the file now holds
  // every change; a failed write is logged and tried again at the next synchronize.
  bool synchronize();

 private:
  struct FileSignature {
    bool exists = false;
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedNanoseconds = 0;
    bool operator==(const FileSignature&) const = default;
  };

  const Value* lookup(std::string_view key) const VKR_REQUIRES(mutex_);
  void changed(std::string_view key) VKR_REQUIRES(mutex_);
  void scheduleSave();
  bool synchronizeLocked() VKR_REQUIRES(mutex_);
  void loadLocked() VKR_REQUIRES(mutex_);
  FileSignature signature() const;

  const std::filesystem::path file_;
  mutable platform::Mutex mutex_;
  Dictionary persistent_ VKR_GUARDED_BY(mutex_);
  Dictionary registered_ VKR_GUARDED_BY(mutex_);
  // Keys changed since the last write.
  std::set<std::string, std::less<>> pending_ VKR_GUARDED_BY(mutex_);
  FileSignature lastSeen_ VKR_GUARDED_BY(mutex_);
  bool saveScheduled_ VKR_GUARDED_BY(mutex_) = false;
  QueuePtr saveQueue_;
};

}  // namespace platform
