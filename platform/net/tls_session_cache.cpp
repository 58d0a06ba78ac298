#include "platform/net/tls_session_cache.h"

#include <vector>

#include "platform/net/trust_anchors.h"

namespace platform::net {

namespace {

struct Sessions {
  // Held, so that no other store takes its place at the same address while its sessions last.
  X509StorePtr store;
  CURLSH* share = nullptr;
  // Shares of stores gone, until the last handle using them lets go.
  std::vector<CURLSH*> retired;
};

CURLSH* makeShare() {
  CURLSH* share = curl_share_init();
  if (share &&
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK) {
    curl_share_cleanup(share);
    return nullptr;
  }
  return share;
}

}  // namespace

CURLSH* tlsSessionShare() {
  // Each engine's thread has its own, like its own trust store: a share is then only ever used on
  // one thread. Never freed, as handles may outlive the thread's other state.
  thread_local Sessions* sessions = new Sessions();
  std::erase_if(sessions->retired,
                [](CURLSH* share) { return curl_share_cleanup(share) == CURLSHE_OK; });
  X509StorePtr store = urlConnectionTrustStore();
  if (!sessions->share || store != sessions->store) {
    if (sessions->share) sessions->retired.push_back(sessions->share);
    sessions->share = makeShare();
    sessions->store = std::move(store);
  }
  return sessions->share;
}

}  // namespace platform::net
