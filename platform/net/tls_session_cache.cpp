#include "platform/net/tls_session_cache.h"

#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "platform/net/trust_anchors.h"

namespace platform::net {

namespace {

// A share and the lock libcurl takes around it: the engines' threads use it at once.
struct LockedShare {
  CURLSH* share = nullptr;
  Mutex mutex;
};

void lockShare(CURL*, curl_lock_data, curl_lock_access, void* self) VKR_NO_THREAD_SAFETY_ANALYSIS {
  static_cast<LockedShare*>(self)->mutex.lock();
}

void unlockShare(CURL*, curl_lock_data, void* self) VKR_NO_THREAD_SAFETY_ANALYSIS {
  static_cast<LockedShare*>(self)->mutex.unlock();
}

LockedShare* makeShare() {
  auto* locked = new LockedShare();
  locked->share = curl_share_init();
  CURLSH* share = locked->share;
  if (share &&
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) == CURLSHE_OK &&
      curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &lockShare) == CURLSHE_OK &&
      curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &unlockShare) == CURLSHE_OK &&
      curl_share_setopt(share, CURLSHOPT_USERDATA, locked) == CURLSHE_OK) {
    return locked;
  }
  if (share) curl_share_cleanup(share);
  delete locked;
  return nullptr;
}

// Answers whether the share is gone: libcurl keeps one while a handle still uses it.
bool cleanedUp(LockedShare* locked) {
  if (curl_share_cleanup(locked->share) != CURLSHE_OK) return false;
  delete locked;
  return true;
}

struct Sessions {
  Mutex mutex;
  // Held, so that no other store takes its place at the same address while its sessions last.
  X509StorePtr store VKR_GUARDED_BY(mutex);
  LockedShare* current VKR_GUARDED_BY(mutex) = nullptr;
  // Shares of stores gone, until the last handle using them lets go.
  std::vector<LockedShare*> retired VKR_GUARDED_BY(mutex);
};

}  // namespace

CURLSH* tlsSessionShare() {
  static Sessions* sessions = new Sessions();
  X509StorePtr store = urlConnectionTrustStore();
  MutexLock lock(sessions->mutex);
  std::erase_if(sessions->retired, &cleanedUp);
  if (!sessions->current || store != sessions->store) {
    if (sessions->current) sessions->retired.push_back(sessions->current);
    sessions->current = makeShare();
    sessions->store = std::move(store);
  }
  return sessions->current ? sessions->current->share : nullptr;
}

}  // namespace platform::net
