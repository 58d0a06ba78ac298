// A fetcher's results and properties, each kept by the owner of its part of the state.

#include <cstdarg>

#include "platform/foundation/log.h"
#include "toolbox/fetcher/session_fetcher.h"

using platform::net::URLRequest;
using platform::net::URLSession;
using platform::net::URLSessionConfiguration;

namespace {
struct ClassState {
  platform::Mutex mutex;
  ZSDK_ZTMSessionFetcher::TestBlock globalTestBlock VKR_GUARDED_BY(mutex);
  std::shared_ptr<ZSDK_ZTMSessionCookieStorage> staticCookieStorage VKR_GUARDED_BY(mutex);
};
ClassState& classState() {
  static ClassState* state = new ClassState();
  return *state;
}
}  // namespace

// Results.

std::optional<ZSDK_ZTMSessionFetcher::URLResponse> ZSDK_ZTMSessionFetcher::response() const {
  return task_.response();
}

int ZSDK_ZTMSessionFetcher::statusCode() const { return task_.statusCode(); }

std::optional<platform::net::HTTPHeaderFields> ZSDK_ZTMSessionFetcher::responseHeaders() const {
  std::optional<URLResponse> current = response();
  if (!current || !current->isHTTP) return std::nullopt;
  return current->headers;
}

std::optional<platform::Bytes> ZSDK_ZTMSessionFetcher::downloadedData() const {
  return task_.body();
}

void ZSDK_ZTMSessionFetcher::setDownloadedData(std::optional<Bytes> data) {
  task_.setBody(std::move(data));
}

int64_t ZSDK_ZTMSessionFetcher::downloadedLength() const { return task_.bodyLength(); }

int64_t ZSDK_ZTMSessionFetcher::bodyLength() { return request_.bodyLength(); }

// Properties with more to them than a value.

void ZSDK_ZTMSessionFetcher::setSession(std::shared_ptr<URLSession> session) {
  task_.setSession(std::move(session));
}

void ZSDK_ZTMSessionFetcher::setSessionTask(platform::net::TaskPtr task) {
  if (task) request_.adoptIfNone(task->originalRequest());
  task_.setTask(std::move(task));
}

void ZSDK_ZTMSessionFetcher::setCookieStorageMethod(int64_t method) {
  request_.setCookieStorageMethod(method);
}

std::shared_ptr<ZSDK_ZTMSessionCookieStorage> ZSDK_ZTMSessionFetcher::staticCookieStorage() {
  platform::MutexLock lock(classState().mutex);
  if (!classState().staticCookieStorage) {
    classState().staticCookieStorage = std::make_shared<ZSDK_ZTMSessionCookieStorage>();
  }
  return classState().staticCookieStorage;
}

void ZSDK_ZTMSessionFetcher::setGlobalTestBlock(TestBlock block) {
  platform::MutexLock lock(classState().mutex);
  classState().globalTestBlock = std::move(block);
}

ZSDK_ZTMSessionFetcher::TestBlock ZSDK_ZTMSessionFetcher::globalTestBlock() {
  platform::MutexLock lock(classState().mutex);
  return classState().globalTestBlock;
}

void ZSDK_ZTMSessionFetcher::setProperties(platform::Value properties) {
  request_.setProperties(std::move(properties));
}

void ZSDK_ZTMSessionFetcher::setProperty(const std::string& key, platform::Value value) {
  request_.setProperty(key, std::move(value));
}

platform::Value ZSDK_ZTMSessionFetcher::propertyForKey(const std::string& key) const {
  return request_.propertyForKey(key);
}

void ZSDK_ZTMSessionFetcher::addPropertiesFromDictionary(const platform::Value& dictionary) {
  request_.addProperties(dictionary);
}

void ZSDK_ZTMSessionFetcher::setCommentWithFormat(const char* format, ...) {
  std::string text;
  if (format != nullptr) {
    va_list arguments;
    va_start(arguments, format);
    text = platform::vformat(format, arguments);
    va_end(arguments);
  }
  setComment(std::move(text));
}

void ZSDK_ZTMSessionFetcher::setDeferResponseBodyLogging(bool defer) {
  if (!request_.setDeferResponseBodyLogging(defer)) return;
  if (platform::QueuePtr queue = task_.delegateQueue()) {
    queue->async([self = shared_from_this()] { self->logNowWithError(std::nullopt); });
  }
}

// Plain properties: each read and written under its owner's lock.

#define ZTM_FETCHER_PROPERTY(Type, getter, setter, owner, ownerGetter, ownerSetter) \
  Type ZSDK_ZTMSessionFetcher::getter() const { return owner.ownerGetter(); }       \
  void ZSDK_ZTMSessionFetcher::setter(Type value) { owner.ownerSetter(std::move(value)); }

using Fetcher = ZSDK_ZTMSessionFetcher;
ZTM_FETCHER_PROPERTY(std::optional<URLRequest>, request, setRequest, request_, request, setRequest)
ZTM_FETCHER_PROPERTY(std::optional<URLSessionConfiguration>, configuration, setConfiguration,
                     request_, configuration, setConfiguration)
ZTM_FETCHER_PROPERTY(std::string, taskDescription, setTaskDescription, request_, taskDescription,
                     setTaskDescription)
ZTM_FETCHER_PROPERTY(std::optional<platform::Bytes>, bodyData, setBodyData, request_, bodyData,
                     setBodyData)
ZTM_FETCHER_PROPERTY(std::optional<platform::URL>, bodyFileURL, setBodyFileURL, request_,
                     bodyFileURL, setBodyFileURL)
ZTM_FETCHER_PROPERTY(Fetcher::BodyStreamProvider, bodyStreamProvider, setBodyStreamProvider,
                     request_, bodyStreamProvider, setBodyStreamProvider)
ZTM_FETCHER_PROPERTY(bool, useUploadTask, setUseUploadTask, request_, useUploadTask,
                     setUseUploadTask)
ZTM_FETCHER_PROPERTY(std::optional<platform::URL>, destinationFileURL, setDestinationFileURL,
                     request_, destinationFileURL, setDestinationFileURL)
ZTM_FETCHER_PROPERTY(std::optional<platform::Bytes>, downloadResumeData, setDownloadResumeData,
                     request_, downloadResumeData, setDownloadResumeData)
ZTM_FETCHER_PROPERTY(Fetcher::CompletionHandler, completionHandler, setCompletionHandler,
                     callbacks_, completion, setCompletion)
ZTM_FETCHER_PROPERTY(Fetcher::ConfigurationBlock, configurationBlock, setConfigurationBlock,
                     callbacks_, configuration, setConfiguration)
ZTM_FETCHER_PROPERTY(Fetcher::AccumulateDataBlock, accumulateDataBlock, setAccumulateDataBlock,
                     callbacks_, accumulate, setAccumulate)
ZTM_FETCHER_PROPERTY(Fetcher::ReceivedProgressBlock, receivedProgressBlock,
                     setReceivedProgressBlock, callbacks_, receivedProgress, setReceivedProgress)
ZTM_FETCHER_PROPERTY(Fetcher::DownloadProgressBlock, downloadProgressBlock,
                     setDownloadProgressBlock, callbacks_, downloadProgress, setDownloadProgress)
ZTM_FETCHER_PROPERTY(Fetcher::SendProgressBlock, sendProgressBlock, setSendProgressBlock,
                     callbacks_, sendProgress, setSendProgress)
ZTM_FETCHER_PROPERTY(Fetcher::ResumeDataBlock, resumeDataBlock, setResumeDataBlock, callbacks_,
                     resumeData, setResumeData)
ZTM_FETCHER_PROPERTY(Fetcher::DidReceiveResponseBlock, didReceiveResponseBlock,
                     setDidReceiveResponseBlock, callbacks_, didReceiveResponse,
                     setDidReceiveResponse)
ZTM_FETCHER_PROPERTY(Fetcher::WillRedirectBlock, willRedirectBlock, setWillRedirectBlock,
                     callbacks_, willRedirect, setWillRedirect)
ZTM_FETCHER_PROPERTY(Fetcher::WillCacheURLResponseBlock, willCacheURLResponseBlock,
                     setWillCacheURLResponseBlock, callbacks_, willCache, setWillCache)
ZTM_FETCHER_PROPERTY(Fetcher::TestBlock, testBlock, setTestBlock, callbacks_, test, setTest)
ZTM_FETCHER_PROPERTY(Fetcher::RetryBlock, retryBlock, setRetryBlock, callbacks_, retry, setRetry)
ZTM_FETCHER_PROPERTY(platform::QueuePtr, callbackQueue, setCallbackQueue, callbacks_, queue,
                     setQueue)
ZTM_FETCHER_PROPERTY(platform::QueuePtr, delegateQueue, setDelegateQueue, task_, delegateQueue,
                     setDelegateQueue)
ZTM_FETCHER_PROPERTY(std::shared_ptr<ZTMFetcherAuthorizationProtocol>, authorizer, setAuthorizer,
                     request_, authorizer, setAuthorizer)
ZTM_FETCHER_PROPERTY(std::optional<platform::net::URLCredential>, credential, setCredential,
                     request_, credential, setCredential)
ZTM_FETCHER_PROPERTY(std::optional<platform::net::URLCredential>, proxyCredential,
                     setProxyCredential, request_, proxyCredential, setProxyCredential)
ZTM_FETCHER_PROPERTY(bool, allowLocalhostRequest, setAllowLocalhostRequest, request_,
                     allowLocalhostRequest, setAllowLocalhostRequest)
ZTM_FETCHER_PROPERTY(bool, allowInvalidServerCertificates, setAllowInvalidServerCertificates,
                     request_, allowInvalidServerCertificates, setAllowInvalidServerCertificates)
ZTM_FETCHER_PROPERTY(std::vector<std::string>, allowedInsecureSchemes, setAllowedInsecureSchemes,
                     request_, allowedInsecureSchemes, setAllowedInsecureSchemes)
ZTM_FETCHER_PROPERTY(std::shared_ptr<platform::net::HTTPCookieStorage>, cookieStorage,
                     setCookieStorage, request_, cookieStorage, setCookieStorage)
ZTM_FETCHER_PROPERTY(std::shared_ptr<ZTMSessionFetcherServiceProtocol>, service, setService,
                     request_, service, setService)
ZTM_FETCHER_PROPERTY(std::string, serviceHost, setServiceHost, request_, serviceHost,
                     setServiceHost)
ZTM_FETCHER_PROPERTY(int64_t, servicePriority, setServicePriority, request_, servicePriority,
                     setServicePriority)
ZTM_FETCHER_PROPERTY(bool, canShareSession, setCanShareSession, request_, canShareSession,
                     setCanShareSession)
ZTM_FETCHER_PROPERTY(std::any, userData, setUserData, request_, userData, setUserData)
ZTM_FETCHER_PROPERTY(std::string, comment, setComment, request_, comment, setComment)

#undef ZTM_FETCHER_PROPERTY

std::shared_ptr<URLSession> ZSDK_ZTMSessionFetcher::session() const { return task_.session(); }

platform::net::TaskPtr ZSDK_ZTMSessionFetcher::sessionTask() const { return task_.task(); }

platform::Value ZSDK_ZTMSessionFetcher::properties() const { return request_.properties(); }

bool ZSDK_ZTMSessionFetcher::deferResponseBodyLogging() const {
  return request_.deferResponseBodyLogging();
}
