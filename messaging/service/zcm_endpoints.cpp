#include "messaging/service/zcm_endpoints.h"

#include <cstdlib>

#include "platform/foundation/text_number.h"
#include "platform/foundation/thread_annotations.h"

namespace {

platform::Mutex settingsMutex;
std::optional<std::string> registrationBaseURL VKR_GUARDED_BY(settingsMutex);
std::optional<ZCMMessagingEndpoint> messagingEndpoint VKR_GUARDED_BY(settingsMutex);

constexpr uint16_t kMessagingPort = 5228;

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

}  // namespace

void ZCMSetRegistrationBaseURL(std::optional<std::string> baseURL) {
  platform::MutexLock lock(settingsMutex);
  registrationBaseURL = std::move(baseURL);
}

std::string ZCMRegistrationServer() {
  std::optional<std::string> base;
  {
    platform::MutexLock lock(settingsMutex);
    base = registrationBaseURL;
  }
  if (!base) base = environment("VOKARU_IID_BASE_URL");
  return base.value_or(kZCMDefaultRegistrationBaseURL) + "/iid/register";
}

void ZCMSetMessagingEndpoint(std::optional<ZCMMessagingEndpoint> endpoint) {
  platform::MutexLock lock(settingsMutex);
  messagingEndpoint = std::move(endpoint);
}

ZCMMessagingEndpoint ZCMMessagingServer() {
  {
    platform::MutexLock lock(settingsMutex);
    if (messagingEndpoint) return *messagingEndpoint;
  }
  const std::optional<std::string> setting = environment("VOKARU_ZCM_SERVER");
  if (!setting) return {kZCMDefaultMessagingHost, kMessagingPort};
  const size_t colon = setting->rfind(':');
  if (colon == std::string::npos) return {*setting, kMessagingPort};
  const int64_t port = platform::integerValueOfText(setting->substr(colon + 1));
  return {setting->substr(0, colon),
          port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : kMessagingPort};
}
