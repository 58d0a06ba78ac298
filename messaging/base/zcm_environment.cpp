#include "messaging/base/zcm_environment.h"

#include "messaging/base/zcm_logger.h"
#include "platform/dispatch/clock.h"
#include "platform/storage/app_home.h"
#include "platform/storage/bundle.h"
#include "platform/storage/file_manager.h"

int64_t ZCMCurrentTimestampInSeconds() {
  return static_cast<int64_t>(platform::now().secondsSince1970);
}

int64_t ZCMCurrentTimestampInMilliseconds() { return ZCMCurrentTimestampInSeconds() * 1000; }

std::string ZCMCurrentAppVersion() {
  std::string version = platform::Bundle::mainBundle()->shortVersionString();
  if (version.empty()) ZCM_LOG_ERROR("Could not find current app version");
  return version;
}

std::optional<std::string> ZCMAppBundleIdentifier() {
  std::string identifier = platform::Bundle::mainBundle()->bundleIdentifier();
  if (identifier.empty()) return std::nullopt;
  return identifier;
}

uint64_t ZCMGetFreeDiskSpaceInMB() {
  platform::Result<uint64_t> free =
      platform::FileManager::freeSpace(platform::AppHome::documents());
  if (!free) {
    ZCM_LOG_ERROR("Error in retreiving device's free memory %s",
                  free.error().description().c_str());
    return 0;
  }
  return ZCMWholeMebibytes(*free);
}

const std::string& ZCMCurrentLibraryVersion() {
  static const std::string version = "1.1.0";
  return version;
}
