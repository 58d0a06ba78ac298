#pragma once

// ZSDK_ZTMSessionFetcher: one HTTP(S) exchange over a URL session. It prepares the request
// (method, body, cookies, authorisation), runs one task, gathers the body in memory (or hands it
// to a block, or writes it to a file) and calls the completion handler exactly once with
// (data, error) on its callback queue (the main queue unless set), unless stopFetching() came
// first. Optional retries with back-off, background-session identifiers and simulated fetches
// for tests are part of it.
//
// Fetchers are shared objects (make them with the fetcherWith... functions); a running fetch
// keeps its fetcher alive.

#include <any>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/group.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/error.h"
#include "platform/foundation/url.h"
#include "platform/net/url_session.h"
#include "toolbox/fetcher/fetcher_background_identity.h"
#include "toolbox/fetcher/fetcher_blocks.h"
#include "toolbox/fetcher/fetcher_callbacks.h"
#include "toolbox/fetcher/fetcher_log_state.h"
#include "toolbox/fetcher/fetcher_protocols.h"
#include "toolbox/fetcher/fetcher_request.h"
#include "toolbox/fetcher/fetcher_retry.h"
#include "toolbox/fetcher/fetcher_task.h"
#include "toolbox/fetcher/session_cookie_storage.h"

inline constexpr const char* kZTMSessionFetcherErrorDomain = "com.zorova.ZTMSessionFetcher";
inline constexpr const char* kZTMSessionFetcherStatusDomain = "com.zorova.HTTPStatus";
// User-info key of the response body in a status error.
inline constexpr const char* kZTMSessionFetcherStatusDataKey = "data";
// User-info key of a download's resume data in a transport error.
inline constexpr const char* kZTMSessionFetcherResumeDataKey = "NSURLSessionDownloadTaskResumeData";

enum ZTMSessionFetcherError : int64_t {
  kZTMSessionFetcherErrorDownloadFailed = -1,
  kZTMSessionFetcherErrorBackgroundExpiration = -3,
  kZTMSessionFetcherErrorBackgroundFetchFailed = -4,
  kZTMSessionFetcherErrorInsecureRequest = -5,
};

inline constexpr const char* kZTMSessionFetcherStartedNotification =
    "kZTMSessionFetcherStartedNotification";
inline constexpr const char* kZTMSessionFetcherStoppedNotification =
    "kZTMSessionFetcherStoppedNotification";
inline constexpr const char* kZTMSessionFetcherRetryDelayStartedNotification =
    "kZTMSessionFetcherRetryDelayStartedNotification";
inline constexpr const char* kZTMSessionFetcherRetryDelayStoppedNotification =
    "kZTMSessionFetcherRetryDelayStoppedNotification";

// The user-defaults key listing the identifiers of running background fetches.
inline constexpr const char* kZTMSessionFetcherPersistedDestinationKey =
    "com.zorova.ZTMSessionFetcher.downloads";

class ZSDK_ZTMSessionFetcher : public platform::net::URLSessionDelegate,
                               public std::enable_shared_from_this<ZSDK_ZTMSessionFetcher> {
 public:
  using Bytes = platform::Bytes;
  using Error = platform::Error;
  using URL = platform::URL;
  using URLRequest = platform::net::URLRequest;
  using URLResponse = platform::net::URLResponse;
  using Ptr = std::shared_ptr<ZSDK_ZTMSessionFetcher>;

  using CompletionHandler = fetcher_blocks::CompletionHandler;
  using ConfigurationBlock = fetcher_blocks::ConfigurationBlock;
  using BodyStreamProvider = fetcher_blocks::BodyStreamProvider;
  // Takes the body bytes as they come; nullopt means: discard what was passed so far.
  using AccumulateDataBlock = fetcher_blocks::AccumulateDataBlock;
  using ReceivedProgressBlock = fetcher_blocks::ReceivedProgressBlock;
  using DownloadProgressBlock = fetcher_blocks::DownloadProgressBlock;
  using SendProgressBlock = fetcher_blocks::SendProgressBlock;
  using ResumeDataBlock = fetcher_blocks::ResumeDataBlock;
  using DidReceiveResponseBlock = fetcher_blocks::DidReceiveResponseBlock;
  using WillRedirectBlock = fetcher_blocks::WillRedirectBlock;
  using WillCacheURLResponseBlock = fetcher_blocks::WillCacheURLResponseBlock;
  using RetryBlock = fetcher_blocks::RetryBlock;
  // Answers a simulated fetch: (response, data, error); all three absent sends the real request.
  using TestResponse = fetcher_blocks::TestResponse;
  using TestBlock = fetcher_blocks::TestBlock;

  // Creation.
  explicit ZSDK_ZTMSessionFetcher(
      std::optional<URLRequest> request = std::nullopt,
      std::optional<platform::net::URLSessionConfiguration> configuration = std::nullopt);
  ~ZSDK_ZTMSessionFetcher() override;
  ZSDK_ZTMSessionFetcher(const ZSDK_ZTMSessionFetcher&) = delete;
  ZSDK_ZTMSessionFetcher& operator=(const ZSDK_ZTMSessionFetcher&) = delete;

  static Ptr fetcherWithRequest(std::optional<URLRequest> request);
  static Ptr fetcherWithURL(std::optional<URL> url);
  // A fetcher whose request has no URL when the text is not one (its fetch fails with -1).
  static Ptr fetcherWithURLString(std::string_view text);
  static Ptr fetcherWithDownloadResumeData(Bytes resumeData);
  static Ptr fetcherWithSessionIdentifier(const std::string& identifier);

  // "ZSDK_ZTMSessionFetcher 0x... (url)"
  std::string description() const;

  // Starting and controlling.
  virtual void beginFetchWithCompletionHandler(CompletionHandler handler);
  // When the fetch ends, calls target->*didFinish(fetcher, data, error) on the callback queue.
  template <typename Target>
  void beginFetchWithDelegate(std::shared_ptr<Target> target,
                              void (Target::*didFinish)(ZSDK_ZTMSessionFetcher&,
                                                        const std::optional<Bytes>&,
                                                        const std::optional<Error>&)) {
    beginFetchWithCompletionHandler(completionHandlerWithTarget(std::move(target), didFinish));
  }
  template <typename Target>
  CompletionHandler completionHandlerWithTarget(
      std::shared_ptr<Target> target,
      void (Target::*didFinish)(ZSDK_ZTMSessionFetcher&, const std::optional<Bytes>&,
                                const std::optional<Error>&)) {
    return [self = weak_from_this(), target = std::move(target), didFinish](
               const std::optional<Bytes>& data, const std::optional<Error>& error) {
      Ptr fetcher = self.lock();
      if (fetcher && target && didFinish) ((*target).*didFinish)(*fetcher, data, error);
    };
  }
  // The step the service also calls to begin a fetch it held back.
  void beginFetchMayDelay(bool mayDelay, bool mayAuthorize);
  virtual void stopFetching();
  bool isFetching();
  // Blocks until the fetch and its callbacks are done (true) or the time passes (false).
  virtual bool waitForCompletionWithTimeout(double seconds);
  // The platform ended the app's background time during a foreground fetch.
  void backgroundFetchExpired();

  // Results.
  std::optional<URLResponse> response() const;
  virtual int statusCode() const;
  virtual std::optional<platform::net::HTTPHeaderFields> responseHeaders() const;
  std::optional<Bytes> downloadedData() const;
  int64_t downloadedLength() const;
  // The body's length: of bodyData, else of the body file; -1 while unknown.
  int64_t bodyLength();

  // The request and session.
  std::optional<URLRequest> request() const;
  void setRequest(std::optional<URLRequest> request);
  std::shared_ptr<platform::net::URLSession> session() const;
  void setSession(std::shared_ptr<platform::net::URLSession> session);
  std::optional<platform::net::URLSessionConfiguration> configuration() const;
  void setConfiguration(std::optional<platform::net::URLSessionConfiguration> configuration);
  platform::net::TaskPtr sessionTask() const;
  void setSessionTask(platform::net::TaskPtr task);
  std::string taskDescription() const;
  void setTaskDescription(std::string description);

  // The body to send: bytes, a file, or a stream made on demand.
  std::optional<Bytes> bodyData() const;
  void setBodyData(std::optional<Bytes> data);
  std::optional<URL> bodyFileURL() const;
  void setBodyFileURL(std::optional<URL> url);
  BodyStreamProvider bodyStreamProvider() const;
  void setBodyStreamProvider(BodyStreamProvider provider);
  bool useUploadTask() const;
  void setUseUploadTask(bool use);

  // Where a downloaded body goes, and resume data to continue a download.
  std::optional<URL> destinationFileURL() const;
  void setDestinationFileURL(std::optional<URL> url);
  std::optional<Bytes> downloadResumeData() const;
  void setDownloadResumeData(std::optional<Bytes> data);

  // Caller blocks.
  CompletionHandler completionHandler() const;
  virtual void setCompletionHandler(CompletionHandler handler);
  ConfigurationBlock configurationBlock() const;
  void setConfigurationBlock(ConfigurationBlock block);
  AccumulateDataBlock accumulateDataBlock() const;
  void setAccumulateDataBlock(AccumulateDataBlock block);
  ReceivedProgressBlock receivedProgressBlock() const;
  void setReceivedProgressBlock(ReceivedProgressBlock block);
  DownloadProgressBlock downloadProgressBlock() const;
  void setDownloadProgressBlock(DownloadProgressBlock block);
  SendProgressBlock sendProgressBlock() const;
  void setSendProgressBlock(SendProgressBlock block);
  ResumeDataBlock resumeDataBlock() const;
  void setResumeDataBlock(ResumeDataBlock block);
  DidReceiveResponseBlock didReceiveResponseBlock() const;
  void setDidReceiveResponseBlock(DidReceiveResponseBlock block);
  WillRedirectBlock willRedirectBlock() const;
  void setWillRedirectBlock(WillRedirectBlock block);
  WillCacheURLResponseBlock willCacheURLResponseBlock() const;
  void setWillCacheURLResponseBlock(WillCacheURLResponseBlock block);
  TestBlock testBlock() const;
  void setTestBlock(TestBlock block);
  // Given to every fetcher that begins without a test block of its own.
  static void setGlobalTestBlock(TestBlock block);

  // Queues.
  platform::QueuePtr callbackQueue() const;
  void setCallbackQueue(platform::QueuePtr queue);
  platform::DispatchGroup callbackGroup() const { return callbacks_.group(); }
  platform::QueuePtr delegateQueue() const;
  void setDelegateQueue(platform::QueuePtr queue);

  // Security and cookies.
  std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer() const;
  void setAuthorizer(std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer);
  std::optional<platform::net::URLCredential> credential() const;
  void setCredential(std::optional<platform::net::URLCredential> credential);
  std::optional<platform::net::URLCredential> proxyCredential() const;
  void setProxyCredential(std::optional<platform::net::URLCredential> credential);
  bool allowLocalhostRequest() const;
  void setAllowLocalhostRequest(bool allow);
  bool allowInvalidServerCertificates() const;
  void setAllowInvalidServerCertificates(bool allow);
  std::vector<std::string> allowedInsecureSchemes() const;
  void setAllowedInsecureSchemes(std::vector<std::string> schemes);
  std::shared_ptr<platform::net::HTTPCookieStorage> cookieStorage() const;
  void setCookieStorage(std::shared_ptr<platform::net::HTTPCookieStorage> storage);
  // 1 keeps the storage, 2 the shared one, 3 a jar of the fetcher's own, anything else the
  // process-wide jar of staticCookieStorage() (chosen when the fetch begins).
  void setCookieStorageMethod(int64_t method);
  static std::shared_ptr<ZSDK_ZTMSessionCookieStorage> staticCookieStorage();

  // Service.
  std::shared_ptr<ZTMSessionFetcherServiceProtocol> service() const;
  void setService(std::shared_ptr<ZTMSessionFetcherServiceProtocol> service);
  std::string serviceHost() const;
  void setServiceHost(std::string host);
  int64_t servicePriority() const;
  void setServicePriority(int64_t priority);
  bool canShareSession() const;
  void setCanShareSession(bool share);

  // Caller values.
  std::any userData() const;
  void setUserData(std::any data);
  platform::Value properties() const;
  void setProperties(platform::Value properties);
  void setProperty(const std::string& key, platform::Value value);  // null removes
  platform::Value propertyForKey(const std::string& key) const;
  void addPropertiesFromDictionary(const platform::Value& dictionary);
  std::string comment() const;
  void setComment(std::string comment);
  void setCommentWithFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool deferResponseBodyLogging() const;
  void setDeferResponseBodyLogging(bool defer);

  // Fetch debug logging, off unless switched on: each fetch that ends (and each redirect) adds
  // an entry to an HTML page and writes a text transcript, secrets cut out, in a folder of this
  // run under loggingDirectory(). With logging off nothing here touches the disk.
  static bool isLoggingEnabled();
  static void setLoggingEnabled(bool enabled);
  static bool isLoggingToFileEnabled();
  static void setLoggingToFileEnabled(bool enabled);
  static std::optional<std::filesystem::path> loggingDirectory();
  static void setLoggingDirectory(std::optional<std::filesystem::path> directory);
  static std::optional<std::filesystem::path> logDirectoryForCurrentRun();
  static void setLogDirectoryForCurrentRun(std::optional<std::filesystem::path> directory);
  static std::string loggingProcessName();
  static void setLoggingProcessName(std::string name);
  static std::string loggingDateStamp();
  static void setLoggingDateStamp(std::string stamp);
  static std::string processNameLogPrefix();
  static std::string symlinkNameSuffix();
  static std::string htmlFileName();
  void logFetchWithError(const std::optional<Error>& error);
  // The stream (or provider) to upload instead, which collects what is read for the log.
  std::shared_ptr<platform::net::InputStream> loggedInputStreamForInputStream(
      std::shared_ptr<platform::net::InputStream> stream);
  BodyStreamProvider loggedStreamProviderForStreamProvider(BodyStreamProvider provider);
  // The last transcript; the bytes of the uploaded stream as read.
  std::string log() const;
  std::optional<Bytes> loggedStreamData() const;
  void appendLoggedStreamData(const uint8_t* bytes, size_t length);
  void clearLoggedStreamData();
  std::optional<URL> redirectedFromURL() const;
  // Texts shown once in place of the request's or the response's body.
  void setLogRequestBody(std::optional<std::string> text);
  void setLogResponseBody(std::optional<std::string> text);

  // Retry with back-off.
  bool isRetryEnabled() const;
  void setRetryEnabled(bool enabled);
  double maxRetryInterval() const;
  void setMaxRetryInterval(double seconds);
  double minRetryInterval() const;
  void setMinRetryInterval(double seconds);
  double retryFactor() const;
  void setRetryFactor(double factor);
  uint64_t retryCount() const;
  bool hasRetryTimer() const;
  RetryBlock retryBlock() const;
  void setRetryBlock(RetryBlock block);
  double nextRetryInterval() const;
  bool hasRetryAfterInterval() const;
  double retryAfterInterval() const;
  static bool isRetryError(const std::optional<Error>& error);
  void shouldRetryNowForStatus(int status, const std::optional<Error>& error,
                               std::function<void(bool)> response);

  // Background sessions.
  std::string sessionIdentifier() const;
  void setSessionIdentifier(const std::string& identifier);
  std::string sessionIdentifierUUID() const;
  bool didCreateSessionIdentifier() const;
  virtual bool useBackgroundSession() const;
  virtual void setUseBackgroundSession(bool use);
  std::optional<platform::Value> sessionUserInfo() const;
  void setSessionUserInfo(std::optional<platform::Value> info);
  // The identifier's metadata dictionary, or nullopt.
  std::optional<platform::Value> sessionIdentifierMetadata() const;
  void createSessionIdentifierWithMetadata(const std::optional<platform::Value>& metadata);
  std::function<void()> systemCompletionHandler() const;
  void setSystemCompletionHandler(std::function<void()> handler);

  // URL-session delegate calls.
  void willPerformHTTPRedirection(
      platform::net::URLSession& session, const platform::net::TaskPtr& task,
      const URLResponse& response, URLRequest newRequest,
      std::function<void(std::optional<URLRequest>)> completion) override;
  void didReceiveChallenge(platform::net::URLSession& session, const platform::net::TaskPtr& task,
                           const platform::net::URLAuthenticationChallenge& challenge,
                           std::function<void(platform::net::AuthChallengeDisposition,
                                              std::optional<platform::net::URLCredential>)>
                               completion) override;
  void needNewBodyStream(
      platform::net::URLSession& session, const platform::net::TaskPtr& task,
      std::function<void(std::shared_ptr<platform::net::InputStream>)> completion) override;
  void didSendBodyData(platform::net::URLSession& session, const platform::net::TaskPtr& task,
                       int64_t bytesSent, int64_t totalBytesSent,
                       int64_t totalBytesExpectedToSend) override;
  void didCompleteWithError(platform::net::URLSession& session, const platform::net::TaskPtr& task,
                            const std::optional<Error>& error) override;
  void didReceiveResponse(
      platform::net::URLSession& session, const platform::net::TaskPtr& task,
      const URLResponse& response,
      std::function<void(platform::net::ResponseDisposition)> completion) override;
  void didReceiveData(platform::net::URLSession& session, const platform::net::TaskPtr& task,
                      const Bytes& data) override;
  void didWriteData(platform::net::URLSession& session, const platform::net::TaskPtr& task,
                    int64_t bytesWritten, int64_t totalBytesWritten,
                    int64_t totalBytesExpectedToWrite) override;
  void didFinishDownloadingTo(platform::net::URLSession& session,
                              const platform::net::TaskPtr& task,
                              const std::filesystem::path& location) override;

  // Background-session registry and persisted list, shared by all fetchers.
  static std::vector<Ptr> fetchersForBackgroundSessions();
  static std::vector<std::string> activePersistedBackgroundSessions();
  static void handleEventsForBackgroundURLSession(const std::string& identifier,
                                                  std::function<void()> completionHandler);
  static void setSystemCompletionHandler(std::function<void()> handler,
                                         const std::string& identifier);
  static std::function<void()> systemCompletionHandlerForSessionIdentifier(
      const std::string& identifier);
  static Ptr registeredFetcherForSessionIdentifier(const std::string& identifier);

 protected:
  // Hooks of a fetcher that builds on this one.
  virtual bool shouldReleaseCallbacksUponCompletion() const { return true; }
  virtual void stopFetchReleasingCallbacks(bool shouldReleaseCallbacks);

  void invokeOnCallbackQueue(const platform::QueuePtr& queue, bool afterUserStopped,
                             std::function<void()> block);
  void invokeOnCallbackQueueUnlessStopped(std::function<void()> block);
  void invokeOnCallbackQueueAfterUserStopped(bool afterUserStopped, std::function<void()> block);
  void finishWithError(std::optional<Error> error, bool shouldRetry);
  void failToBeginFetchWithError(std::optional<Error> error);
  // Lets the caller's blocks go.
  void releaseCallbacks();
  // What downloadedData() answers from now on.
  void setDownloadedData(std::optional<Bytes> data);

 private:
  // Writes a body to the destination file whole (beside it, then renamed over it), so a failed
  // write leaves what was there; answers the error when it fails.
  static std::optional<Error> writeDestinationFile(const URL& destination, const Bytes& data);
  static TestBlock globalTestBlock();
  Error beginError(int64_t code) const;
  // A foreground fetch holds the app's background time while it runs, so the app's end waits for
  // it (and expires it when that time is up).
  void holdBackgroundTime();
  void releaseBackgroundTime();
  // Steps of beginFetchMayDelay.
  bool refuseToBegin();
  void ensureSession();
  platform::net::URLSessionConfiguration sessionConfiguration();
  platform::net::TaskPtr makeTask(FetcherRequest::Prepared prepared);
  void startTask(platform::net::TaskPtr task);
  // Steps of finishWithError.
  std::optional<Bytes> settleSuccess(std::optional<Error>& error);
  std::optional<Bytes> settleFailure(std::optional<Error>& error, int status, bool shouldRetry);
  void cancelTask(const platform::net::TaskPtr& task);
  void authorizeRequest();
  void authorizerFinished(URLRequest request, std::optional<Error> error);
  void sendStopNotificationIfNeeded();
  void postNotification(const char* name);
  void logNowWithError(const std::optional<Error>& error);
  // Steps of logFetchWithError.
  struct LogEntry;
  void logResponseBody(LogEntry& entry);
  void logRequest(LogEntry& entry);
  void logResponse(LogEntry& entry, const std::optional<Error>& error);
  void writeLogEntry(const LogEntry& entry);
  void simulateFetchForTestBlock();
  void playBackTestResponse(const std::optional<URLResponse>& response,
                            const std::optional<Bytes>& data, const std::optional<Error>& error);
  void simulateDataCallbacksForTestBlock(const Bytes& bodyData,
                                         const std::optional<URLResponse>& response,
                                         const std::optional<Bytes>& responseData,
                                         std::optional<Error> error);
  void beginRetryTimer();
  void retryTimerFired();
  void destroyRetryTimer();
  void retryFetch();
  void registerForSessionIdentifier();
  void restoreBackgroundSession();
  void forgetSessionIdentifierForFetcher();
  void addPersistedBackgroundSessionToDefaults();
  void removePersistedBackgroundSessionFromDefaults();
  bool reauthorizeBackgroundRedirect(int status);

  // The owners of the fetcher's state, each with its own lock; none is held while another is
  // taken or while caller code runs.
  FetcherRequest request_;
  FetcherTask task_;
  FetcherRetry retry_;
  FetcherBackgroundIdentity identity_;
  FetcherCallbacks callbacks_;
  FetcherLogState log_;
  std::atomic<uint64_t> backgroundTime_{0};  // the app's background task held, 0 when none
};
