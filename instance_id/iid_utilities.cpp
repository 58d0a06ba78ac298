#include "instance_id/iid_utilities.h"

#include <cstdlib>
#include <mutex>

#include "platform/dispatch/clock.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/net/ascii.h"
#include "platform/storage/bundle.h"

namespace {

constexpr const char* kLibraryVersion = "1.1.1";

platform::Mutex baseURLMutex;
std::optional<std::string> baseURLSetting VKR_GUARDED_BY(baseURLMutex);

std::optional<std::string> serviceBaseURL() {
  {
    platform::MutexLock lock(baseURLMutex);
    if (baseURLSetting) return baseURLSetting;
  }
  if (const char* fromEnvironment = std::getenv("VOKARU_IID_BASE_URL");
      fromEnvironment && *fromEnvironment) {
    return std::string(fromEnvironment);
  }
  return std::nullopt;
}

struct LibraryVersion {
  int major = 0, minor = 0, patch = 0;
};

int leadingInt(const std::string& text) { return std::atoi(text.c_str()); }

const LibraryVersion& libraryVersion() {
  static const LibraryVersion version = [] {
    LibraryVersion parsed;
    std::vector<std::string> parts = VIZInstanceIDSplit(kLibraryVersion, ".");
    if (parts.size() != 3) return parsed;
    parsed.major = leadingInt(parts[0]);
    parsed.minor = leadingInt(parts[1]);
    std::vector<std::string> patch = VIZInstanceIDSplit(parts[2], "-beta");
    if (patch.size() <= 2) parsed.patch = leadingInt(patch[0]);
    return parsed;
  }();
  return version;
}

}  // namespace

std::vector<std::string> VIZInstanceIDSplit(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string_view::npos;
       start = at + separator.size()) {
    parts.emplace_back(text.substr(start, at - start));
  }
  parts.emplace_back(text.substr(start));
  return parts;
}

platform::Error VIZInstanceIDError(int64_t code) {
  return platform::Error(kVIZInstanceIDErrorDomain, code);
}

int64_t VIZInstanceIDCurrentTimestampInSeconds() {
  return static_cast<int64_t>(platform::now().secondsSince1970);
}

int64_t VIZInstanceIDCurrentTimestampInMilliseconds() {
  return VIZInstanceIDCurrentTimestampInSeconds() * 1000;
}

std::string VIZInstanceIDCurrentAppVersion() {
  return platform::Bundle::mainBundle()->shortVersionString();
}

std::string VIZInstanceIDAppBundleIdentifier() {
  return platform::Bundle::mainBundle()->bundleIdentifier();
}

void VIZInstanceIDSetServiceBaseURL(std::optional<std::string> baseURL) {
  platform::MutexLock lock(baseURLMutex);
  baseURLSetting = std::move(baseURL);
}

std::string VIZInstanceIDCheckinServer() {
  return serviceBaseURL().value_or(kVIZInstanceIDDefaultCheckinBaseURL) + "/checkin";
}

std::string VIZInstanceIDRegisterServer() {
  return serviceBaseURL().value_or(kVIZInstanceIDDefaultRegisterBaseURL) + "/iid/register";
}

platform::net::URLRequest VIZInstanceIDRequestWithURL(const std::string& url) {
  platform::net::URLRequest request;
  if (platform::Result<platform::URL> parsed = platform::URL::parse(url)) request.url = *parsed;
  return request;
}

std::set<std::string, std::less<>> VIZInstanceIDTokenOptionKeys() {
  return {kVIZInstanceIDTokenOptionsAPNSKey, kVIZInstanceIDTokenOptionsAPNSIsSandboxKey};
}

std::set<std::string, std::less<>> VIZInstanceIDRequestOptionKeys() {
  return {kVIZInstanceIDTokenOptionsAPNSKey};
}

bool VIZInstanceIDIsZCMScope(std::string_view scope) {
  return platform::net::equalsIgnoringCase(scope, kVIZInstanceIDScopeZCM);
}

std::string VIZInstanceIDAPNSTokenString(const platform::Bytes& token, bool sandbox) {
  return (sandbox ? "s_" : "p_") + platform::hexString(token);
}

std::string VIZInstanceIDCurrentLibraryVersion() { return kLibraryVersion; }
int VIZInstanceIDLibraryVersionMajor() { return libraryVersion().major; }
int VIZInstanceIDLibraryVersionMinor() { return libraryVersion().minor; }
int VIZInstanceIDLibraryVersionPatch() { return libraryVersion().patch; }

bool VIZInstanceIDRunsStoreMigrations() {
  return VIZInstanceIDLibraryVersionMajor() == 1 && VIZInstanceIDLibraryVersionMinor() == 1 &&
         VIZInstanceIDLibraryVersionPatch() <= 1;
}
