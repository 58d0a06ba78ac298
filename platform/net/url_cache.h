#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/thread_annotations.h"

namespace platform::net {

// The process's cache of HTTP responses: its capacities and the folder on disk where the caches
// that keep responses for it (the web engine's) keep them. Emptying it empties each of them.
// Thread-safe.
class URLCache {
 public:
  URLCache(uint64_t memoryCapacity, uint64_t diskCapacity, std::filesystem::path diskPath);

  // The shared cache (by default 512 KiB in memory, 10 MiB on disk, no folder) and installing
  // another.
  static std::shared_ptr<URLCache> shared();
  static void setShared(std::shared_ptr<URLCache> cache);

  uint64_t memoryCapacity() const { return memoryCapacity_; }
  uint64_t diskCapacity() const { return diskCapacity_; }
  const std::filesystem::path& diskPath() const { return diskPath_; }

  // Drops every cached response.
  void removeAllCachedResponses();
  // A cache keeping responses for this one: `removeAll` empties it.
  void addStore(std::function<void()> removeAll);

 private:
  const uint64_t memoryCapacity_;
  const uint64_t diskCapacity_;
  const std::filesystem::path diskPath_;
  Mutex mutex_;
  std::vector<std::function<void()>> stores_ VKR_GUARDED_BY(mutex_);
};

}  // namespace platform::net
