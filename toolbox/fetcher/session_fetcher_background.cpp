// Background sessions: identifiers that carry the caller's metadata, the registry of fetchers by
// identifier, the list of running background fetches kept in the user defaults, and the
// restoration of that list when the process starts.

#include <map>

#include "platform/foundation/class_registry.h"
#include "platform/foundation/json.h"
#include "platform/foundation/log.h"
#include "platform/storage/user_defaults.h"
#include "toolbox/fetcher/session_fetcher.h"
#include "toolbox/fetcher/session_identifier.h"
#include "toolbox/runtime/class_lookup.h"

using platform::Value;

namespace {

struct Registry {
  platform::Mutex mutex;
  std::map<std::string, std::weak_ptr<ZSDK_ZTMSessionFetcher>> fetchers VKR_GUARDED_BY(mutex);
  std::map<std::string, std::function<void()>> systemCompletionHandlers VKR_GUARDED_BY(mutex);
};
Registry& registry() {
  static Registry* made = new Registry();
  return *made;
}

// The defaults holding the persisted list: a factory class's when the program has one, else the
// app's standard defaults.
std::shared_ptr<platform::UserDefaults> fetcherUserDefaults() {
  static const ZSDKClass<ZTMSessionFetcherUserDefaultsFactory> factory =
      ZSDKClassFromString<ZTMSessionFetcherUserDefaultsFactory>(
          "ZTMSessionFetcherUserDefaultsFactory");
  if (factory) {
    if (std::shared_ptr<ZTMSessionFetcherUserDefaultsFactory> made = factory()) {
      if (std::shared_ptr<platform::UserDefaults> defaults = made->fetcherUserDefaults()) {
        return defaults;
      }
    }
  }
  return platform::UserDefaults::standard();
}

std::vector<std::string> persistedList() {
  std::vector<std::string> identifiers;
  if (std::optional<Value::Array> stored =
          fetcherUserDefaults()->arrayForKey(kZTMSessionFetcherPersistedDestinationKey)) {
    for (const Value& entry : *stored) {
      if (const std::string* text = entry.stringIf()) identifiers.push_back(*text);
    }
  }
  return identifiers;
}

void writePersistedList(const std::vector<std::string>& identifiers) {
  std::shared_ptr<platform::UserDefaults> defaults = fetcherUserDefaults();
  if (identifiers.empty()) {
    defaults->removeObjectForKey(kZTMSessionFetcherPersistedDestinationKey);
  } else {
    Value::Array list(identifiers.begin(), identifiers.end());
    if (platform::Status stored =
            defaults->setObject(Value(std::move(list)), kZTMSessionFetcherPersistedDestinationKey);
        !stored.ok()) {
      // A restart then resumes fewer fetches; their callers still hear from this run.
      platform::logf("Cannot keep the background fetches for a restart: %s",
                     stored.error().localizedDescription().c_str());
    }
  }
  defaults->synchronize();
}

}  // namespace

// At start-up the fetchers of the background fetches that were running get going again.
PLATFORM_LOAD_HOOK("ZSDK_ZTMSessionFetcher",
                   [] { ZSDK_ZTMSessionFetcher::fetchersForBackgroundSessions(); });

// Registry.

ZSDK_ZTMSessionFetcher::Ptr ZSDK_ZTMSessionFetcher::registeredFetcherForSessionIdentifier(
    const std::string& identifier) {
  platform::MutexLock lock(registry().mutex);
  auto it = registry().fetchers.find(identifier);
  return it == registry().fetchers.end() ? nullptr : it->second.lock();
}

void ZSDK_ZTMSessionFetcher::registerForSessionIdentifier() {
  const std::string identifier = identity_.identifier();
  platform::MutexLock lock(registry().mutex);
  registry().fetchers[identifier] = weak_from_this();
}

void ZSDK_ZTMSessionFetcher::forgetSessionIdentifierForFetcher() {
  const std::string identifier = identity_.forget();
  if (identifier.empty()) return;
  platform::MutexLock lock(registry().mutex);
  registry().fetchers.erase(identifier);
}

ZSDK_ZTMSessionFetcher::~ZSDK_ZTMSessionFetcher() {
  releaseBackgroundTime();
  const std::string identifier = identity_.identifier();
  if (identifier.empty()) return;
  platform::MutexLock lock(registry().mutex);
  auto it = registry().fetchers.find(identifier);
  if (it != registry().fetchers.end() && it->second.expired()) registry().fetchers.erase(it);
}

ZSDK_ZTMSessionFetcher::Ptr ZSDK_ZTMSessionFetcher::fetcherWithSessionIdentifier(
    const std::string& identifier) {
  if (Ptr registered = registeredFetcherForSessionIdentifier(identifier)) return registered;
  if (!identifier.starts_with(kZTMSessionIdentifierPrefix)) return nullptr;
  Ptr fetcher = fetcherWithRequest(std::nullopt);
  fetcher->setSessionIdentifier(identifier);
  fetcher->registerForSessionIdentifier();
  const std::string uuid = fetcher->sessionIdentifierUUID();
  fetcher->setCommentWithFormat("Resuming %s", uuid.empty() ? "?" : uuid.c_str());
  return fetcher;
}

std::vector<ZSDK_ZTMSessionFetcher::Ptr> ZSDK_ZTMSessionFetcher::fetchersForBackgroundSessions() {
  std::vector<Ptr> fetchers;
  for (const std::string& identifier : persistedList()) {
    Ptr fetcher = registeredFetcherForSessionIdentifier(identifier);
    if (!fetcher) {
      fetcher = fetcherWithSessionIdentifier(identifier);
      if (fetcher) fetcher->beginFetchWithCompletionHandler(nullptr);
    }
    if (fetcher) fetchers.push_back(std::move(fetcher));
  }
  return fetchers;
}

std::vector<std::string> ZSDK_ZTMSessionFetcher::activePersistedBackgroundSessions() {
  std::vector<std::string> active;
  for (const std::string& identifier : persistedList()) {
    if (registeredFetcherForSessionIdentifier(identifier)) active.push_back(identifier);
  }
  return active;
}

void ZSDK_ZTMSessionFetcher::addPersistedBackgroundSessionToDefaults() {
  const std::string identifier = sessionIdentifier();
  if (identifier.empty()) return;
  std::vector<std::string> active = activePersistedBackgroundSessions();
  if (std::find(active.begin(), active.end(), identifier) != active.end()) return;
  active.push_back(identifier);
  writePersistedList(active);
}

void ZSDK_ZTMSessionFetcher::removePersistedBackgroundSessionFromDefaults() {
  const std::string identifier = sessionIdentifier();
  if (identifier.empty()) return;
  std::vector<std::string> active = activePersistedBackgroundSessions();
  auto it = std::find(active.begin(), active.end(), identifier);
  if (it == active.end()) return;
  active.erase(it);
  writePersistedList(active);
}

// System completion handlers.

void ZSDK_ZTMSessionFetcher::handleEventsForBackgroundURLSession(
    const std::string& identifier, std::function<void()> completionHandler) {
  if (Ptr fetcher = fetcherWithSessionIdentifier(identifier)) {
    fetcher->setSystemCompletionHandler(std::move(completionHandler));
  }
}

void ZSDK_ZTMSessionFetcher::setSystemCompletionHandler(std::function<void()> handler,
                                                        const std::string& identifier) {
  platform::MutexLock lock(registry().mutex);
  if (handler) {
    registry().systemCompletionHandlers[identifier] = std::move(handler);
  } else {
    registry().systemCompletionHandlers.erase(identifier);
  }
}

std::function<void()> ZSDK_ZTMSessionFetcher::systemCompletionHandlerForSessionIdentifier(
    const std::string& identifier) {
  platform::MutexLock lock(registry().mutex);
  auto it = registry().systemCompletionHandlers.find(identifier);
  return it == registry().systemCompletionHandlers.end() ? nullptr : it->second;
}

std::function<void()> ZSDK_ZTMSessionFetcher::systemCompletionHandler() const {
  const std::string identifier = sessionIdentifier();
  return identifier.empty() ? nullptr : systemCompletionHandlerForSessionIdentifier(identifier);
}

void ZSDK_ZTMSessionFetcher::setSystemCompletionHandler(std::function<void()> handler) {
  const std::string identifier = sessionIdentifier();
  if (!identifier.empty()) setSystemCompletionHandler(std::move(handler), identifier);
}

// Identifiers and their metadata.

std::string ZSDK_ZTMSessionFetcher::sessionIdentifier() const { return identity_.identifier(); }

void ZSDK_ZTMSessionFetcher::setSessionIdentifier(const std::string& identifier) {
  std::optional<Value> metadata = identity_.adopt(identifier);
  request_.setCanShareSession(false);
  if (!metadata) return;
  const auto fileURL = [&](const char* key) -> std::optional<platform::URL> {
    const std::string* text = (*metadata)[key].stringIf();
    if (text == nullptr) return std::nullopt;
    platform::Result<platform::URL> url = platform::URL::parse(*text);
    return url.ok() ? std::optional(*url) : std::nullopt;
  };
  if (auto destination = fileURL(kZTMSessionIdentifierDestinationFileURLMetadataKey)) {
    request_.setDestinationFileURL(destination);
  }
  if (auto body = fileURL(kZTMSessionIdentifierBodyFileURLMetadataKey)) {
    request_.setBodyFileURL(body);
  }
}

std::string ZSDK_ZTMSessionFetcher::sessionIdentifierUUID() const { return identity_.uuid(); }

bool ZSDK_ZTMSessionFetcher::didCreateSessionIdentifier() const { return identity_.created(); }

bool ZSDK_ZTMSessionFetcher::useBackgroundSession() const {
  return identity_.useBackgroundSession();
}

void ZSDK_ZTMSessionFetcher::setUseBackgroundSession(bool use) {
  identity_.setUseBackgroundSession(use);
}

std::optional<Value> ZSDK_ZTMSessionFetcher::sessionIdentifierMetadata() const {
  return identity_.metadata();
}

std::optional<Value> ZSDK_ZTMSessionFetcher::sessionUserInfo() const {
  return identity_.userInfo();
}

void ZSDK_ZTMSessionFetcher::setSessionUserInfo(std::optional<Value> info) {
  identity_.setUserInfo(std::move(info));
}

void ZSDK_ZTMSessionFetcher::createSessionIdentifierWithMetadata(
    const std::optional<Value>& metadata) {
  Value all = Value::dictionary();
  if (metadata && metadata->isDictionary()) {
    for (const auto& [key, value] : *metadata->dictionaryIf()) all.set(key, value);
  }
  if (std::optional<platform::URL> destination = destinationFileURL()) {
    all.set(kZTMSessionIdentifierDestinationFileURLMetadataKey, destination->absoluteString());
  }
  if (std::optional<platform::URL> body = bodyFileURL()) {
    all.set(kZTMSessionIdentifierBodyFileURLMetadataKey, body->absoluteString());
  }
  identity_.create(all);
}

// Restoration and re-authorisation.

void ZSDK_ZTMSessionFetcher::restoreBackgroundSession() {
  std::shared_ptr<platform::net::URLSession> session = this->session();
  if (!session) return;
  session->getAllTasks([self = shared_from_this()](std::vector<platform::net::TaskPtr> tasks) {
    if (!tasks.empty()) return;  // their events reach the fetcher, which completes them
    platform::dispatchAfter(platform::seconds(1.0), platform::mainQueue(), [self] {
      if (self->sessionTask() || self->request()) return;
      self->removePersistedBackgroundSessionFromDefaults();
      self->failToBeginFetchWithError(platform::Error(
          kZTMSessionFetcherErrorDomain, kZTMSessionFetcherErrorBackgroundFetchFailed));
    });
  });
}

bool ZSDK_ZTMSessionFetcher::reauthorizeBackgroundRedirect(int status) {
  std::optional<URLResponse> current = response();
  if (!identity_.useBackgroundSession() || status != 403 || !current) return false;
  // The redirect lost the authorisation on the way: try the new URL at once, signed again.
  return request_.redirectSignedRequest(current->url);
}
