#include "toolbox/upload/upload_background_registry.h"

#include "platform/foundation/thread_annotations.h"

namespace upload_background_registry {

namespace {

struct Registry {
  platform::Mutex mutex;
  std::vector<std::weak_ptr<ZSDK_ZTMSessionUploadFetcher>> fetchers VKR_GUARDED_BY(mutex);
};

Registry& registry() {
  static Registry* shared = new Registry();  // used by load hooks at start-up
  return *shared;
}

}  // namespace

void add(const std::shared_ptr<ZSDK_ZTMSessionUploadFetcher>& fetcher) {
  Registry& r = registry();
  platform::MutexLock lock(r.mutex);
  std::erase_if(r.fetchers, [](const auto& each) { return each.expired(); });
  r.fetchers.push_back(fetcher);
}

void remove(const ZSDK_ZTMSessionUploadFetcher* fetcher) {
  Registry& r = registry();
  platform::MutexLock lock(r.mutex);
  for (auto it = r.fetchers.begin(); it != r.fetchers.end(); ++it) {
    if (it->lock().get() == fetcher) {
      r.fetchers.erase(it);
      return;
    }
  }
}

std::vector<std::shared_ptr<ZSDK_ZTMSessionUploadFetcher>> live() {
  Registry& r = registry();
  platform::MutexLock lock(r.mutex);
  std::erase_if(r.fetchers, [](const auto& each) { return each.expired(); });
  std::vector<std::shared_ptr<ZSDK_ZTMSessionUploadFetcher>> alive;
  for (const auto& each : r.fetchers) {
    if (auto fetcher = each.lock()) alive.push_back(std::move(fetcher));
  }
  return alive;
}

}  // namespace upload_background_registry
