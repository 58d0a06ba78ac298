#include "platform/net/url_cache.h"

namespace platform::net {

namespace {

Mutex& sharedMutex() {
  static Mutex* mutex = new Mutex();
  return *mutex;
}

std::shared_ptr<URLCache>& sharedCache() {
  static auto* cache = new std::shared_ptr<URLCache>(
      std::make_shared<URLCache>(512 * 1024, 10 * 1024 * 1024, std::filesystem::path()));
  return *cache;
}

}  // namespace

URLCache::URLCache(uint64_t memoryCapacity, uint64_t diskCapacity, std::filesystem::path diskPath)
    : memoryCapacity_(memoryCapacity),
      diskCapacity_(diskCapacity),
      diskPath_(std::move(diskPath)) {}

std::shared_ptr<URLCache> URLCache::shared() {
  MutexLock lock(sharedMutex());
  return sharedCache();
}

void URLCache::setShared(std::shared_ptr<URLCache> cache) {
  MutexLock lock(sharedMutex());
  if (cache) sharedCache() = std::move(cache);
}

void URLCache::removeAllCachedResponses() {
  std::vector<std::function<void()>> stores;
  {
    platform::MutexLock lock(mutex_);
    stores = stores_;
  }
  for (const auto& removeAll : stores) removeAll();
}

void URLCache::addStore(std::function<void()> removeAll) {
  platform::MutexLock lock(mutex_);
  stores_.push_back(std::move(removeAll));
}

}  // namespace platform::net
