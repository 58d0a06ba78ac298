#pragma once

// ZSDK_ZTMSessionFetcherService: makes session fetchers that inherit its settings, limits how
// many of them run against one host at a time (holding the rest back and starting them in
// priority order as others stop), lets them share one URL session that it discards after a
// quiet period, and stops or waits for all of them.
//
// Thread-safe: the host maps, the waiting list, the dispatcher and the settings sit under the
// service's lock, which is never held while a fetcher begins or stops (those calls may come back
// into the service). Make services with make().

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "toolbox/fetcher/session_delegate_dispatcher.h"
#include "toolbox/fetcher/session_fetcher.h"

inline constexpr const char* kZTMSessionFetcherServiceSessionBecameInvalidNotification =
    "kZTMSessionFetcherServiceSessionBecameInvalidNotification";

class ZSDK_ZTMSessionFetcherService
    : public ZTMSessionFetcherServiceProtocol,
      public std::enable_shared_from_this<ZSDK_ZTMSessionFetcherService> {
 public:
  using FetcherPtr = ZSDK_ZTMSessionFetcher::Ptr;
  using URLRequest = platform::net::URLRequest;
  using FetchersByHost = std::map<std::string, std::vector<FetcherPtr>>;
  // Makes a fetcher of a class of the caller's choice: (request, configuration).
  using FetcherFactory = std::function<FetcherPtr(
      std::optional<URLRequest>, std::optional<platform::net::URLSessionConfiguration>)>;
  using Dispatcher = ZSDK_ZTMSessionFetcherSessionDelegateDispatcher;

  static constexpr uint64_t kDefaultMaxRunningFetchersPerHost = 10;
  static constexpr double kDefaultUnusedSessionTimeout = 60.0;

  static std::shared_ptr<ZSDK_ZTMSessionFetcherService> make();
  // A service whose fetchers all answer at once with the data and error given (status 500 with
  // an error, else 200), never touching the network.
  static std::shared_ptr<ZSDK_ZTMSessionFetcherService> mockFetcherServiceWithFakedData(
      std::optional<platform::Bytes> data, std::optional<platform::Error> error);
  ~ZSDK_ZTMSessionFetcherService() override;

  // Making fetchers.
  FetcherPtr fetcherWithRequest(URLRequest request, const FetcherFactory& factory);
  template <typename Fetcher>
  FetcherPtr fetcherWithRequestOfClass(URLRequest request) {
    return fetcherWithRequest(std::move(request), [](auto request, auto configuration) {
      return std::make_shared<Fetcher>(std::move(request), std::move(configuration));
    });
  }
  FetcherPtr fetcherWithRequest(URLRequest request);
  FetcherPtr fetcherWithURL(platform::URL url);
  // A fetcher whose request has no URL when the text is not one.
  FetcherPtr fetcherWithURLString(std::string_view text);

  // The fetchers' calls.
  std::shared_ptr<platform::net::URLSession> session() override;
  std::shared_ptr<platform::net::URLSessionDelegate> sessionDelegate() override;
  void fetcherDidCreateSession(ZSDK_ZTMSessionFetcher& fetcher) override;
  bool fetcherShouldBeginFetching(ZSDK_ZTMSessionFetcher& fetcher) override;
  void fetcherDidBeginFetching(ZSDK_ZTMSessionFetcher& fetcher) override;
  void fetcherDidStop(ZSDK_ZTMSessionFetcher& fetcher) override;
  bool isDelayingFetcher(ZSDK_ZTMSessionFetcher& fetcher) override;

  // Control and inspection.
  void startFetcher(const FetcherPtr& fetcher);
  void stopFetcher(const FetcherPtr& fetcher);
  // Held-back fetchers first, then running ones.
  void stopAllFetchers();
  size_t numberOfFetchers() const;
  size_t numberOfRunningFetchers() const;
  size_t numberOfDelayedFetchers() const;
  // Running fetchers, then held-back ones; nullopt when there are none.
  std::optional<std::vector<FetcherPtr>> issuedFetchers() const;
  std::optional<std::vector<FetcherPtr>> issuedFetchersWithRequestURL(
      const platform::URL& url) const;
  FetchersByHost runningFetchersByHost() const;
  void setRunningFetchersByHost(FetchersByHost fetchers);
  FetchersByHost delayedFetchersByHost() const;
  void setDelayedFetchersByHost(FetchersByHost fetchers);
  // Abandons the shared session; the next fetcher makes a new one.
  void resetSession();
  // Runs the main loop meanwhile when called on the main thread. True when all finished.
  bool waitForCompletionOfAllFetchersWithTimeout(double seconds);
  static size_t numberOfNonBackgroundSessionFetchers(const std::vector<FetcherPtr>& fetchers);

  // Session reuse (on for a new service).
  bool reuseSession() const;
  void setReuseSession(bool reuse);
  double unusedSessionTimeout() const;
  void setUnusedSessionTimeout(double seconds);
  std::shared_ptr<Dispatcher> delegateDispatcher() const;
  platform::QueuePtr delegateQueue() const { return nullptr; }

  // Settings given to each new fetcher.
  uint64_t maxRunningFetchersPerHost() const;
  void setMaxRunningFetchersPerHost(uint64_t max);  // 0: no limit
  platform::QueuePtr callbackQueue() const;
  void setCallbackQueue(platform::QueuePtr queue);
  std::shared_ptr<platform::net::HTTPCookieStorage> cookieStorage() const;
  void setCookieStorage(std::shared_ptr<platform::net::HTTPCookieStorage> storage);
  int64_t cookieStorageMethod() const;
  void setCookieStorageMethod(int64_t method);  // below 0: not set
  std::string userAgent() const;
  void setUserAgent(std::string userAgent);
  std::optional<platform::net::URLCredential> credential() const;
  void setCredential(std::optional<platform::net::URLCredential> credential);
  std::optional<platform::net::URLCredential> proxyCredential() const;
  void setProxyCredential(std::optional<platform::net::URLCredential> credential);
  std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer() const;
  void setAuthorizer(std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer);
  bool allowLocalhostRequest() const;
  void setAllowLocalhostRequest(bool allow);
  bool allowInvalidServerCertificates() const;
  void setAllowInvalidServerCertificates(bool allow);
  bool isRetryEnabled() const;
  void setRetryEnabled(bool enabled);
  std::optional<platform::net::URLSessionConfiguration> configuration() const;
  void setConfiguration(std::optional<platform::net::URLSessionConfiguration> configuration);
  ZSDK_ZTMSessionFetcher::ConfigurationBlock configurationBlock() const;
  void setConfigurationBlock(ZSDK_ZTMSessionFetcher::ConfigurationBlock block);
  std::vector<std::string> allowedInsecureSchemes() const;
  void setAllowedInsecureSchemes(std::vector<std::string> schemes);
  ZSDK_ZTMSessionFetcher::RetryBlock retryBlock() const;
  void setRetryBlock(ZSDK_ZTMSessionFetcher::RetryBlock block);
  double maxRetryInterval() const;
  void setMaxRetryInterval(double seconds);
  double minRetryInterval() const;
  void setMinRetryInterval(double seconds);
  platform::Value properties() const;
  void setProperties(platform::Value properties);
  ZSDK_ZTMSessionFetcher::TestBlock testBlock() const;
  void setTestBlock(ZSDK_ZTMSessionFetcher::TestBlock block);

 protected:
  ZSDK_ZTMSessionFetcherService() = default;

 private:
  struct Settings {
    platform::QueuePtr callbackQueue;
    std::shared_ptr<platform::net::HTTPCookieStorage> cookieStorage;
    int64_t cookieStorageMethod = -1;
    std::string userAgent;
    std::optional<platform::net::URLCredential> credential;
    std::optional<platform::net::URLCredential> proxyCredential;
    std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer;
    bool allowLocalhostRequest = false;
    bool allowInvalidServerCertificates = false;
    bool retryEnabled = false;
    std::optional<platform::net::URLSessionConfiguration> configuration;
    ZSDK_ZTMSessionFetcher::ConfigurationBlock configurationBlock;
    std::vector<std::string> allowedInsecureSchemes;
    ZSDK_ZTMSessionFetcher::RetryBlock retryBlock;
    double maxRetryInterval = 0;
    double minRetryInterval = 0;
    platform::Value properties;
    ZSDK_ZTMSessionFetcher::TestBlock testBlock;
  };

  static std::string admissionHost(const ZSDK_ZTMSessionFetcher& fetcher);
  // The dispatcher the fetcher's session reports to, when it shares the service's session.
  std::shared_ptr<Dispatcher> dispatcherForFetcher(const ZSDK_ZTMSessionFetcher& fetcher) const;
  size_t nonBackgroundRunningCount(const std::string& host) const VKR_REQUIRES(mutex_);
  // Moves held-back fetchers of the host to the running list while the limit allows; answers
  // them in the order they are to start.
  std::vector<FetcherPtr> admitDelayedFetchers(const std::string& host) VKR_REQUIRES(mutex_);
  Settings settings() const;

  mutable platform::Mutex mutex_;
  FetchersByHost delayedFetchersByHost_ VKR_GUARDED_BY(mutex_);
  FetchersByHost runningFetchersByHost_ VKR_GUARDED_BY(mutex_);
  uint64_t maxRunningFetchersPerHost_ VKR_GUARDED_BY(mutex_) = kDefaultMaxRunningFetchersPerHost;
  std::shared_ptr<Dispatcher> delegateDispatcher_ VKR_GUARDED_BY(mutex_);
  std::optional<std::vector<FetcherPtr>> stoppedFetchersToWaitFor_ VKR_GUARDED_BY(mutex_);
  double unusedSessionTimeout_ VKR_GUARDED_BY(mutex_) = kDefaultUnusedSessionTimeout;
  Settings settings_ VKR_GUARDED_BY(mutex_);
};
