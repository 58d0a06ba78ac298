#include "toolbox/fetcher/session_fetcher_service.h"

#include <algorithm>
#include <chrono>

#include "toolbox/fetcher/wait_step.h"

namespace {

using FetcherPtr = ZSDK_ZTMSessionFetcherService::FetcherPtr;

size_t countAll(const ZSDK_ZTMSessionFetcherService::FetchersByHost& map) {
  size_t total = 0;
  for (const auto& [host, fetchers] : map) total += fetchers.size();
  return total;
}

void eraseFetcher(std::vector<FetcherPtr>& list, const ZSDK_ZTMSessionFetcher& fetcher) {
  std::erase_if(list, [&](const FetcherPtr& each) { return each.get() == &fetcher; });
}

bool contains(const std::vector<FetcherPtr>& list, const ZSDK_ZTMSessionFetcher& fetcher) {
  return std::any_of(list.begin(), list.end(),
                     [&](const FetcherPtr& each) { return each.get() == &fetcher; });
}

}  // namespace

std::shared_ptr<ZSDK_ZTMSessionFetcherService> ZSDK_ZTMSessionFetcherService::make() {
  std::shared_ptr<ZSDK_ZTMSessionFetcherService> service(new ZSDK_ZTMSessionFetcherService());
  platform::MutexLock lock(service->mutex_);
  service->delegateDispatcher_ =
      std::make_shared<Dispatcher>(service, service->unusedSessionTimeout_);
  return service;
}

ZSDK_ZTMSessionFetcherService::~ZSDK_ZTMSessionFetcherService() {
  std::shared_ptr<Dispatcher> dispatcher;
  {
    platform::MutexLock lock(mutex_);
    dispatcher = std::move(delegateDispatcher_);
  }
  if (dispatcher) dispatcher->abandon();
}

// Making fetchers.

FetcherPtr ZSDK_ZTMSessionFetcherService::fetcherWithRequest(URLRequest request,
                                                             const FetcherFactory& factory) {
  const Settings given = settings();
  const bool hasUserAgent = request.valueForHTTPHeaderField("User-Agent").has_value();
  FetcherPtr fetcher = factory(std::move(request), given.configuration);
  if (given.callbackQueue) fetcher->setCallbackQueue(given.callbackQueue);
  fetcher->setCredential(given.credential);
  fetcher->setProxyCredential(given.proxyCredential);
  fetcher->setAuthorizer(given.authorizer);
  fetcher->setCookieStorage(given.cookieStorage);
  fetcher->setAllowedInsecureSchemes(given.allowedInsecureSchemes);
  fetcher->setAllowLocalhostRequest(given.allowLocalhostRequest);
  fetcher->setAllowInvalidServerCertificates(given.allowInvalidServerCertificates);
  fetcher->setConfigurationBlock(given.configurationBlock);
  fetcher->setRetryEnabled(given.retryEnabled);
  fetcher->setRetryBlock(given.retryBlock);
  fetcher->setMaxRetryInterval(given.maxRetryInterval);
  fetcher->setMinRetryInterval(given.minRetryInterval);
  fetcher->setProperties(given.properties);
  fetcher->setService(shared_from_this());
  if (given.cookieStorageMethod >= 0) fetcher->setCookieStorageMethod(given.cookieStorageMethod);
  if (!given.userAgent.empty() && !hasUserAgent) {
    if (std::optional<URLRequest> made = fetcher->request()) {
      made->setValue(given.userAgent, "User-Agent");
      fetcher->setRequest(std::move(made));
    }
  }
  fetcher->setTestBlock(given.testBlock);
  return fetcher;
}

FetcherPtr ZSDK_ZTMSessionFetcherService::fetcherWithRequest(URLRequest request) {
  return fetcherWithRequestOfClass<ZSDK_ZTMSessionFetcher>(std::move(request));
}

FetcherPtr ZSDK_ZTMSessionFetcherService::fetcherWithURL(platform::URL url) {
  return fetcherWithRequest(URLRequest(std::move(url)));
}

FetcherPtr ZSDK_ZTMSessionFetcherService::fetcherWithURLString(std::string_view text) {
  platform::Result<platform::URL> url = platform::URL::parse(text);
  URLRequest request;
  if (url.ok()) request.url = *url;
  return fetcherWithRequest(std::move(request));
}

// The fetchers' calls.

std::shared_ptr<platform::net::URLSession> ZSDK_ZTMSessionFetcherService::session() {
  std::shared_ptr<Dispatcher> dispatcher = delegateDispatcher();
  return dispatcher ? dispatcher->session() : nullptr;
}

std::shared_ptr<platform::net::URLSessionDelegate>
ZSDK_ZTMSessionFetcherService::sessionDelegate() {
  return delegateDispatcher();
}

void ZSDK_ZTMSessionFetcherService::fetcherDidCreateSession(ZSDK_ZTMSessionFetcher& fetcher) {
  if (!fetcher.canShareSession()) return;
  if (std::shared_ptr<Dispatcher> dispatcher = dispatcherForFetcher(fetcher)) {
    dispatcher->setSession(fetcher.session());
  }
}

std::string ZSDK_ZTMSessionFetcherService::admissionHost(const ZSDK_ZTMSessionFetcher& fetcher) {
  std::optional<URLRequest> request = fetcher.request();
  if (!request || !request->url) return "";
  std::string host = request->url->host().value_or("");
  if (host.empty() && request->url->isFileURL()) host = "localhost";
  return host;
}

bool ZSDK_ZTMSessionFetcherService::fetcherShouldBeginFetching(ZSDK_ZTMSessionFetcher& fetcher) {
  const std::string host = admissionHost(fetcher);
  if (host.empty()) return true;
  FetcherPtr self = fetcher.shared_from_this();
  platform::MutexLock lock(mutex_);
  std::vector<FetcherPtr>& running = runningFetchersByHost_[host];
  if (contains(running, fetcher)) return true;
  fetcher.setServiceHost(host);
  if (!fetcher.useBackgroundSession() && maxRunningFetchersPerHost_ > 0 &&
      nonBackgroundRunningCount(host) >= maxRunningFetchersPerHost_) {
    if (running.empty()) runningFetchersByHost_.erase(host);
    delayedFetchersByHost_[host].push_back(std::move(self));
    return false;
  }
  running.push_back(std::move(self));
  return true;
}

size_t ZSDK_ZTMSessionFetcherService::nonBackgroundRunningCount(const std::string& host) const {
  auto found = runningFetchersByHost_.find(host);
  if (found == runningFetchersByHost_.end()) return 0;
  return static_cast<size_t>(
      std::count_if(found->second.begin(), found->second.end(),
                    [](const FetcherPtr& each) { return !each->useBackgroundSession(); }));
}

void ZSDK_ZTMSessionFetcherService::fetcherDidBeginFetching(ZSDK_ZTMSessionFetcher& fetcher) {
  std::shared_ptr<Dispatcher> dispatcher = dispatcherForFetcher(fetcher);
  if (dispatcher && dispatcher == delegateDispatcher()) {
    dispatcher->setFetcherForTask(fetcher.shared_from_this(), fetcher.sessionTask());
  }
}

void ZSDK_ZTMSessionFetcherService::fetcherDidStop(ZSDK_ZTMSessionFetcher& fetcher) {
  const std::string host = fetcher.serviceHost();
  if (host.empty()) return;
  if (std::shared_ptr<Dispatcher> dispatcher = dispatcherForFetcher(fetcher)) {
    dispatcher->removeFetcher(fetcher);
  }
  std::vector<FetcherPtr> toStart;
  {
    platform::MutexLock lock(mutex_);
    if (stoppedFetchersToWaitFor_) stoppedFetchersToWaitFor_->push_back(fetcher.shared_from_this());
    if (auto running = runningFetchersByHost_.find(host); running != runningFetchersByHost_.end()) {
      eraseFetcher(running->second, fetcher);
    }
    if (auto delayed = delayedFetchersByHost_.find(host); delayed != delayedFetchersByHost_.end()) {
      eraseFetcher(delayed->second, fetcher);
    }
    toStart = admitDelayedFetchers(host);
    if (auto running = runningFetchersByHost_.find(host);
        running != runningFetchersByHost_.end() && running->second.empty()) {
      runningFetchersByHost_.erase(running);
    }
    if (auto delayed = delayedFetchersByHost_.find(host);
        delayed != delayedFetchersByHost_.end() && delayed->second.empty()) {
      delayedFetchersByHost_.erase(delayed);
    }
  }
  fetcher.setServiceHost("");
  // Begun outside the lock: a fetcher that fails to begin stops, and comes back here.
  for (const FetcherPtr& each : toStart) startFetcher(each);
}

std::vector<FetcherPtr> ZSDK_ZTMSessionFetcherService::admitDelayedFetchers(
    const std::string& host) {
  std::vector<FetcherPtr> admitted;
  auto delayed = delayedFetchersByHost_.find(host);
  if (delayed == delayedFetchersByHost_.end()) return admitted;
  std::vector<FetcherPtr>& waiting = delayed->second;
  while (!waiting.empty() && nonBackgroundRunningCount(host) < maxRunningFetchersPerHost_) {
    // The lowest priority first; among equals, the one held back first.
    auto next = std::min_element(waiting.begin(), waiting.end(), [](const auto& a, const auto& b) {
      return a->servicePriority() < b->servicePriority();
    });
    FetcherPtr fetcher = *next;
    waiting.erase(next);
    runningFetchersByHost_[host].push_back(fetcher);
    admitted.push_back(std::move(fetcher));
  }
  return admitted;
}

bool ZSDK_ZTMSessionFetcherService::isDelayingFetcher(ZSDK_ZTMSessionFetcher& fetcher) {
  std::optional<URLRequest> request = fetcher.request();
  const std::string host = request && request->url ? request->url->host().value_or("") : "";
  if (host.empty()) return false;
  platform::MutexLock lock(mutex_);
  auto delayed = delayedFetchersByHost_.find(host);
  return delayed != delayedFetchersByHost_.end() && contains(delayed->second, fetcher);
}

std::shared_ptr<ZSDK_ZTMSessionFetcherService::Dispatcher>
ZSDK_ZTMSessionFetcherService::dispatcherForFetcher(const ZSDK_ZTMSessionFetcher& fetcher) const {
  std::shared_ptr<platform::net::URLSession> session = fetcher.session();
  if (!session) return nullptr;
  return std::dynamic_pointer_cast<Dispatcher>(session->delegate());
}

// Control and inspection.

void ZSDK_ZTMSessionFetcherService::startFetcher(const FetcherPtr& fetcher) {
  fetcher->beginFetchMayDelay(false, true);
}

void ZSDK_ZTMSessionFetcherService::stopFetcher(const FetcherPtr& fetcher) {
  fetcher->stopFetching();
}

void ZSDK_ZTMSessionFetcherService::stopAllFetchers() {
  FetchersByHost delayed;
  FetchersByHost running;
  {
    platform::MutexLock lock(mutex_);
    delayed.swap(delayedFetchersByHost_);
    running.swap(runningFetchersByHost_);
  }
  for (const FetchersByHost* map : {&delayed, &running}) {
    for (const auto& [host, fetchers] : *map) {
      for (const FetcherPtr& fetcher : fetchers) stopFetcher(fetcher);
    }
  }
}

size_t ZSDK_ZTMSessionFetcherService::numberOfFetchers() const {
  platform::MutexLock lock(mutex_);
  return countAll(runningFetchersByHost_) + countAll(delayedFetchersByHost_);
}

size_t ZSDK_ZTMSessionFetcherService::numberOfRunningFetchers() const {
  platform::MutexLock lock(mutex_);
  return countAll(runningFetchersByHost_);
}

size_t ZSDK_ZTMSessionFetcherService::numberOfDelayedFetchers() const {
  platform::MutexLock lock(mutex_);
  return countAll(delayedFetchersByHost_);
}

std::optional<std::vector<FetcherPtr>> ZSDK_ZTMSessionFetcherService::issuedFetchers() const {
  std::vector<FetcherPtr> all;
  {
    platform::MutexLock lock(mutex_);
    for (const FetchersByHost* map : {&runningFetchersByHost_, &delayedFetchersByHost_}) {
      for (const auto& [host, fetchers] : *map)
        all.insert(all.end(), fetchers.begin(), fetchers.end());
    }
  }
  if (all.empty()) return std::nullopt;
  return all;
}

std::optional<std::vector<FetcherPtr>> ZSDK_ZTMSessionFetcherService::issuedFetchersWithRequestURL(
    const platform::URL& url) const {
  if (url.host().value_or("").empty()) return std::nullopt;
  std::optional<std::vector<FetcherPtr>> issued = issuedFetchers();
  if (!issued) return std::nullopt;
  const std::string wanted = url.absoluteString();
  std::erase_if(*issued, [&](const FetcherPtr& fetcher) {
    std::optional<URLRequest> request = fetcher->request();
    return !request || !request->url || request->url->absoluteString() != wanted;
  });
  if (issued->empty()) return std::nullopt;
  return issued;
}

ZSDK_ZTMSessionFetcherService::FetchersByHost ZSDK_ZTMSessionFetcherService::runningFetchersByHost()
    const {
  platform::MutexLock lock(mutex_);
  return runningFetchersByHost_;
}

void ZSDK_ZTMSessionFetcherService::setRunningFetchersByHost(FetchersByHost fetchers) {
  platform::MutexLock lock(mutex_);
  runningFetchersByHost_ = std::move(fetchers);
}

ZSDK_ZTMSessionFetcherService::FetchersByHost ZSDK_ZTMSessionFetcherService::delayedFetchersByHost()
    const {
  platform::MutexLock lock(mutex_);
  return delayedFetchersByHost_;
}

void ZSDK_ZTMSessionFetcherService::setDelayedFetchersByHost(FetchersByHost fetchers) {
  platform::MutexLock lock(mutex_);
  delayedFetchersByHost_ = std::move(fetchers);
}

void ZSDK_ZTMSessionFetcherService::resetSession() {
  std::shared_ptr<Dispatcher> old;
  {
    platform::MutexLock lock(mutex_);
    if (!delegateDispatcher_) return;
    old = std::move(delegateDispatcher_);
    delegateDispatcher_ = std::make_shared<Dispatcher>(weak_from_this(), unusedSessionTimeout_);
  }
  old->abandon();
}

bool ZSDK_ZTMSessionFetcherService::waitForCompletionOfAllFetchersWithTimeout(double seconds) {
  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
  {
    platform::MutexLock lock(mutex_);
    stoppedFetchersToWaitFor_.emplace();
  }
  const auto takeStopped = [this]() -> std::optional<FetcherPtr> {
    platform::MutexLock lock(mutex_);
    if (!stoppedFetchersToWaitFor_ || stoppedFetchersToWaitFor_->empty()) return std::nullopt;
    FetcherPtr first = stoppedFetchersToWaitFor_->front();
    stoppedFetchersToWaitFor_->erase(stoppedFetchersToWaitFor_->begin());
    return first;
  };
  const auto stoppedWaiting = [this] {
    platform::MutexLock lock(mutex_);
    return stoppedFetchersToWaitFor_ && !stoppedFetchersToWaitFor_->empty();
  };
  bool finished = true;
  while (numberOfFetchers() > 0 || stoppedWaiting()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      finished = false;
      break;
    }
    if (std::optional<FetcherPtr> stopped = takeStopped()) {
      (void)(*stopped)->waitForCompletionWithTimeout(0.01);
    }
    waitStep();
  }
  platform::MutexLock lock(mutex_);
  stoppedFetchersToWaitFor_.reset();
  return finished;
}

size_t ZSDK_ZTMSessionFetcherService::numberOfNonBackgroundSessionFetchers(
    const std::vector<FetcherPtr>& fetchers) {
  return static_cast<size_t>(std::count_if(fetchers.begin(), fetchers.end(), [](const auto& each) {
    return !each->useBackgroundSession();
  }));
}

// Session reuse.

bool ZSDK_ZTMSessionFetcherService::reuseSession() const {
  platform::MutexLock lock(mutex_);
  return delegateDispatcher_ != nullptr;
}

void ZSDK_ZTMSessionFetcherService::setReuseSession(bool reuse) {
  std::shared_ptr<Dispatcher> old;
  {
    platform::MutexLock lock(mutex_);
    if ((delegateDispatcher_ != nullptr) == reuse) return;
    old = std::move(delegateDispatcher_);
    delegateDispatcher_.reset();
    if (reuse) {
      delegateDispatcher_ = std::make_shared<Dispatcher>(weak_from_this(), unusedSessionTimeout_);
    }
  }
  if (old) old->abandon();
}

double ZSDK_ZTMSessionFetcherService::unusedSessionTimeout() const {
  platform::MutexLock lock(mutex_);
  return unusedSessionTimeout_;
}

void ZSDK_ZTMSessionFetcherService::setUnusedSessionTimeout(double seconds) {
  platform::MutexLock lock(mutex_);
  unusedSessionTimeout_ = seconds;
  if (delegateDispatcher_) delegateDispatcher_->setDiscardInterval(seconds);
}

std::shared_ptr<ZSDK_ZTMSessionFetcherService::Dispatcher>
ZSDK_ZTMSessionFetcherService::delegateDispatcher() const {
  platform::MutexLock lock(mutex_);
  return delegateDispatcher_;
}

// Settings.

ZSDK_ZTMSessionFetcherService::Settings ZSDK_ZTMSessionFetcherService::settings() const {
  platform::MutexLock lock(mutex_);
  return settings_;
}

uint64_t ZSDK_ZTMSessionFetcherService::maxRunningFetchersPerHost() const {
  platform::MutexLock lock(mutex_);
  return maxRunningFetchersPerHost_;
}

void ZSDK_ZTMSessionFetcherService::setMaxRunningFetchersPerHost(uint64_t max) {
  platform::MutexLock lock(mutex_);
  maxRunningFetchersPerHost_ = max;
}

#define ZTM_SERVICE_SETTING(Type, getter, setter)          \
  Type ZSDK_ZTMSessionFetcherService::getter() const {     \
    platform::MutexLock lock(mutex_);                      \
    return settings_.getter;                               \
  }                                                        \
  void ZSDK_ZTMSessionFetcherService::setter(Type value) { \
    platform::MutexLock lock(mutex_);                      \
    settings_.getter = std::move(value);                   \
  }

ZTM_SERVICE_SETTING(platform::QueuePtr, callbackQueue, setCallbackQueue)
ZTM_SERVICE_SETTING(std::shared_ptr<platform::net::HTTPCookieStorage>, cookieStorage,
                    setCookieStorage)
ZTM_SERVICE_SETTING(int64_t, cookieStorageMethod, setCookieStorageMethod)
ZTM_SERVICE_SETTING(std::string, userAgent, setUserAgent)
ZTM_SERVICE_SETTING(std::optional<platform::net::URLCredential>, credential, setCredential)
ZTM_SERVICE_SETTING(std::optional<platform::net::URLCredential>, proxyCredential,
                    setProxyCredential)
ZTM_SERVICE_SETTING(std::shared_ptr<ZTMFetcherAuthorizationProtocol>, authorizer, setAuthorizer)
ZTM_SERVICE_SETTING(bool, allowLocalhostRequest, setAllowLocalhostRequest)
ZTM_SERVICE_SETTING(bool, allowInvalidServerCertificates, setAllowInvalidServerCertificates)
ZTM_SERVICE_SETTING(std::optional<platform::net::URLSessionConfiguration>, configuration,
                    setConfiguration)
ZTM_SERVICE_SETTING(ZSDK_ZTMSessionFetcher::ConfigurationBlock, configurationBlock,
                    setConfigurationBlock)
ZTM_SERVICE_SETTING(std::vector<std::string>, allowedInsecureSchemes, setAllowedInsecureSchemes)
ZTM_SERVICE_SETTING(ZSDK_ZTMSessionFetcher::RetryBlock, retryBlock, setRetryBlock)
ZTM_SERVICE_SETTING(double, maxRetryInterval, setMaxRetryInterval)
ZTM_SERVICE_SETTING(double, minRetryInterval, setMinRetryInterval)
ZTM_SERVICE_SETTING(platform::Value, properties, setProperties)
ZTM_SERVICE_SETTING(ZSDK_ZTMSessionFetcher::TestBlock, testBlock, setTestBlock)
#undef ZTM_SERVICE_SETTING

bool ZSDK_ZTMSessionFetcherService::isRetryEnabled() const {
  platform::MutexLock lock(mutex_);
  return settings_.retryEnabled;
}

void ZSDK_ZTMSessionFetcherService::setRetryEnabled(bool enabled) {
  platform::MutexLock lock(mutex_);
  settings_.retryEnabled = enabled;
}

// The canned service.

std::shared_ptr<ZSDK_ZTMSessionFetcherService>
ZSDK_ZTMSessionFetcherService::mockFetcherServiceWithFakedData(
    std::optional<platform::Bytes> data, std::optional<platform::Error> error) {
  std::shared_ptr<ZSDK_ZTMSessionFetcherService> service = make();
  service->setAllowedInsecureSchemes({"http"});
  service->setTestBlock(
      [data, error](ZSDK_ZTMSessionFetcher&, ZSDK_ZTMSessionFetcher::TestResponse response) {
        // A reserved name that never resolves.
        platform::net::URLResponse answer;
        answer.url = platform::URL::parse("http://mock.invalid/").value();
        answer.isHTTP = true;
        answer.statusCode = error ? 500 : 200;
        response(answer, data, error);
      });
  return service;
}
