#include "ads/foundation/server_hosts.h"

#include "platform/foundation/thread_annotations.h"

namespace {

platform::Mutex gMutex;
std::string gAdServer VKR_GUARDED_BY(gMutex) = "https://zads.zorova.example";
std::string gOAuthAPI VKR_GUARDED_BY(gMutex) = "https://oauth.zorova.example";

}  // namespace

std::string ZADAdServerBaseURL() {
  platform::MutexLock lock(gMutex);
  return gAdServer;
}

void ZADSetAdServerBaseURL(std::string baseURL) {
  platform::MutexLock lock(gMutex);
  gAdServer = std::move(baseURL);
}

std::string ZADOAuthAPIBaseURL() {
  platform::MutexLock lock(gMutex);
  return gOAuthAPI;
}

void ZADSetOAuthAPIBaseURL(std::string baseURL) {
  platform::MutexLock lock(gMutex);
  gOAuthAPI = std::move(baseURL);
}
