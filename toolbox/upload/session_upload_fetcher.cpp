// Creating an upload, its body sources, beginning, pausing, stopping and ending it.

#include "toolbox/upload/session_upload_fetcher.h"

#include <strings.h>

#include <chrono>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/log.h"
#include "platform/storage/file_manager.h"
#include "toolbox/fetcher/session_fetcher_service.h"
#include "toolbox/fetcher/wait_step.h"
#include "toolbox/upload/upload_background_registry.h"
#include "toolbox/upload/upload_protocol.h"

namespace up = upload_protocol;
using platform::Bytes;
using platform::Error;

// Creation.

ZSDK_ZTMSessionUploadFetcher::~ZSDK_ZTMSessionUploadFetcher() = default;

ZSDK_ZTMSessionUploadFetcher::Ptr ZSDK_ZTMSessionUploadFetcher::uploadFetcherWithRequest(
    URLRequest request, std::string uploadMIMEType, int64_t chunkSize,
    const std::shared_ptr<ZSDK_ZTMSessionFetcherService>& service) {
  ZSDK_ZTMSessionFetcher::Ptr made;
  if (service) {
    made = service->fetcherWithRequestOfClass<ZSDK_ZTMSessionUploadFetcher>(std::move(request));
  } else {
    made = std::make_shared<ZSDK_ZTMSessionUploadFetcher>(std::move(request));
  }
  Ptr fetcher = std::static_pointer_cast<ZSDK_ZTMSessionUploadFetcher>(made);
  fetcher->setUseBackgroundSession(true);
  fetcher->setLocationURL(std::nullopt, std::move(uploadMIMEType), chunkSize);
  return fetcher;
}

ZSDK_ZTMSessionUploadFetcher::Ptr ZSDK_ZTMSessionUploadFetcher::uploadFetcherWithLocation(
    std::optional<URL> location, std::string uploadMIMEType, int64_t chunkSize,
    const std::shared_ptr<ZSDK_ZTMSessionFetcherService>& service) {
  Ptr fetcher;
  if (service) {
    fetcher = std::static_pointer_cast<ZSDK_ZTMSessionUploadFetcher>(
        service->fetcherWithRequest(URLRequest(), [](auto, auto configuration) {
          return std::make_shared<ZSDK_ZTMSessionUploadFetcher>(std::nullopt,
                                                                std::move(configuration));
        }));
  } else {
    fetcher = std::make_shared<ZSDK_ZTMSessionUploadFetcher>(std::nullopt);
  }
  fetcher->setUseBackgroundSession(true);
  fetcher->setLocationURL(std::move(location), std::move(uploadMIMEType), chunkSize);
  return fetcher;
}

void ZSDK_ZTMSessionUploadFetcher::setLocationURL(std::optional<URL> location, std::string mimeType,
                                                  int64_t chunkSize) {
  platform::MutexLock lock(mutex_);
  isRestartedUpload_ = location.has_value();
  uploadLocationURL_ = std::move(location);
  uploadMIMEType_ = std::move(mimeType);
  chunkSize_ = chunkSize;
  uploadFileLength_ = -1;
  statusCode_ = -1;
}

// Body sources.

std::optional<Bytes> ZSDK_ZTMSessionUploadFetcher::uploadData() const {
  platform::MutexLock lock(mutex_);
  if (!uploadData_) return std::nullopt;
  return *uploadData_;
}

void ZSDK_ZTMSessionUploadFetcher::setUploadData(std::optional<Bytes> data) {
  {
    platform::MutexLock lock(mutex_);
    if (!data && !uploadData_) return;
    uploadData_ = data ? std::make_shared<const Bytes>(std::move(*data)) : nullptr;
  }
  setupRequestHeaders();
}

ZSDK_ZTMSessionUploadFetcher::FileHandle ZSDK_ZTMSessionUploadFetcher::uploadFileHandle() const {
  platform::MutexLock lock(mutex_);
  return uploadFileHandle_;
}

void ZSDK_ZTMSessionUploadFetcher::setUploadFileHandle(FileHandle handle) {
  {
    platform::MutexLock lock(mutex_);
    if (uploadFileHandle_ == handle) return;
    uploadFileHandle_ = std::move(handle);
  }
  setupRequestHeaders();
}

std::optional<platform::URL> ZSDK_ZTMSessionUploadFetcher::uploadFileURL() const {
  platform::MutexLock lock(mutex_);
  return uploadFileURL_;
}

void ZSDK_ZTMSessionUploadFetcher::setUploadFileURL(std::optional<URL> url) {
  {
    platform::MutexLock lock(mutex_);
    if (uploadFileURL_ == url) return;
    uploadFileURL_ = std::move(url);
  }
  setupRequestHeaders();
}

ZSDK_ZTMSessionUploadFetcher::DataProvider ZSDK_ZTMSessionUploadFetcher::uploadDataProvider()
    const {
  platform::MutexLock lock(mutex_);
  return uploadDataProvider_;
}

void ZSDK_ZTMSessionUploadFetcher::setUploadDataLength(int64_t length, DataProvider provider) {
  {
    platform::MutexLock lock(mutex_);
    uploadDataProvider_ = std::move(provider);
    uploadFileLength_ = length;
  }
  setupRequestHeaders();
}

void ZSDK_ZTMSessionUploadFetcher::setUploadFileLength(int64_t length) {
  platform::MutexLock lock(mutex_);
  uploadFileLength_ = length;
}

int64_t ZSDK_ZTMSessionUploadFetcher::fullUploadLength() {
  platform::MutexLock lock(mutex_);
  if (uploadData_) return static_cast<int64_t>(uploadData_->size());
  if (uploadFileLength_ != -1) return uploadFileLength_;
  if (uploadFileHandle_) {
    if (fseeko(uploadFileHandle_.get(), 0, SEEK_END) != 0) return -1;
    uploadFileLength_ = ftello(uploadFileHandle_.get());
    return uploadFileLength_;
  }
  if (!uploadDataProvider_ && uploadFileURL_) {
    const std::optional<std::string> path = uploadFileURL_->filePath();
    if (!path) return -1;
    platform::Result<platform::FileAttributes> attributes =
        platform::FileManager::attributesOfItem(*path);
    if (!attributes.ok()) return -1;
    uploadFileLength_ = static_cast<int64_t>(attributes->size);
    return uploadFileLength_;
  }
  return -1;
}

void ZSDK_ZTMSessionUploadFetcher::setupRequestHeaders() {
  std::optional<URLRequest> request = this->request();
  if (!request) return;
  request->setValue(up::kProtocolResumable, up::kProtocolHeader);
  request->setValue(up::kCommandStart, up::kCommandHeader);
  request->setValue(uploadMIMEType(), up::kContentTypeHeader);
  request->setValue(std::to_string(fullUploadLength()), up::kContentLengthHeader);
  if (request->httpMethod.empty() || strcasecmp(request->httpMethod.c_str(), "GET") == 0) {
    request->httpMethod = "POST";
  }
  setRequest(std::move(request));
}

// Properties.

bool ZSDK_ZTMSessionUploadFetcher::isPaused() const {
  platform::MutexLock lock(mutex_);
  return isPaused_;
}

ZSDK_ZTMSessionFetcher::Ptr ZSDK_ZTMSessionUploadFetcher::activeFetcher() {
  {
    platform::MutexLock lock(mutex_);
    if (fetcherInFlight_) return fetcherInFlight_;
  }
  return shared_from_this();
}

ZSDK_ZTMSessionFetcher::Ptr ZSDK_ZTMSessionUploadFetcher::chunkFetcher() const {
  platform::MutexLock lock(mutex_);
  return chunkFetcher_;
}

std::optional<platform::URL> ZSDK_ZTMSessionUploadFetcher::uploadLocationURL() const {
  platform::MutexLock lock(mutex_);
  return uploadLocationURL_;
}

void ZSDK_ZTMSessionUploadFetcher::setUploadLocationURL(std::optional<URL> url) {
  platform::MutexLock lock(mutex_);
  uploadLocationURL_ = std::move(url);
}

std::string ZSDK_ZTMSessionUploadFetcher::uploadMIMEType() const {
  platform::MutexLock lock(mutex_);
  return uploadMIMEType_;
}

int64_t ZSDK_ZTMSessionUploadFetcher::chunkSize() const {
  platform::MutexLock lock(mutex_);
  return chunkSize_;
}

int64_t ZSDK_ZTMSessionUploadFetcher::currentOffset() const {
  platform::MutexLock lock(mutex_);
  return currentOffset_;
}

std::optional<platform::net::URLRequest> ZSDK_ZTMSessionUploadFetcher::lastChunkRequest() const {
  platform::MutexLock lock(mutex_);
  return lastChunkRequest_;
}

ZSDK_ZTMSessionFetcher::CompletionHandler ZSDK_ZTMSessionUploadFetcher::delegateCompletionHandler()
    const {
  platform::MutexLock lock(mutex_);
  return delegateCompletionHandler_;
}

void ZSDK_ZTMSessionUploadFetcher::setCompletionHandler(CompletionHandler handler) {
  platform::MutexLock lock(mutex_);
  delegateCompletionHandler_ = std::move(handler);
}

// The upload fetcher itself runs in the ordinary session; the setting is its chunk fetchers'.
bool ZSDK_ZTMSessionUploadFetcher::useBackgroundSession() const {
  platform::MutexLock lock(mutex_);
  return useBackgroundSessionOnChunkFetchers_;
}

void ZSDK_ZTMSessionUploadFetcher::setUseBackgroundSession(bool use) {
  {
    platform::MutexLock lock(mutex_);
    if (useBackgroundSessionOnChunkFetchers_ == use) return;
    useBackgroundSessionOnChunkFetchers_ = use;
  }
  if (use) {
    upload_background_registry::add(self());
  } else {
    upload_background_registry::remove(this);
  }
}

std::optional<platform::net::HTTPHeaderFields> ZSDK_ZTMSessionUploadFetcher::responseHeaders()
    const {
  ZSDK_ZTMSessionFetcher::Ptr chunk;
  std::optional<platform::net::HTTPHeaderFields> kept;
  {
    platform::MutexLock lock(mutex_);
    chunk = chunkFetcher_;
    kept = responseHeaders_;
  }
  if (chunk) {
    if (std::optional<platform::net::HTTPHeaderFields> headers = chunk->responseHeaders()) {
      return headers;
    }
  }
  if (kept) return kept;
  return ZSDK_ZTMSessionFetcher::responseHeaders();
}

int ZSDK_ZTMSessionUploadFetcher::statusCode() const {
  {
    platform::MutexLock lock(mutex_);
    if (statusCode_ != -1) return statusCode_;
  }
  return ZSDK_ZTMSessionFetcher::statusCode();
}

void ZSDK_ZTMSessionUploadFetcher::setStatusCode(int status) {
  platform::MutexLock lock(mutex_);
  statusCode_ = status;
}

// Beginning.

void ZSDK_ZTMSessionUploadFetcher::beginFetchWithCompletionHandler(CompletionHandler handler) {
  const int64_t initialLength = std::max<int64_t>(bodyLength(), 0);
  bool restarted = false;
  bool paused = false;
  {
    platform::MutexLock lock(mutex_);
    initialBodyLength_ = initialLength;
    delegateCompletionHandler_ = std::move(handler);
    finished_ = false;
    restarted = isRestartedUpload_;
    paused = isPaused_;
  }
  if (restarted) {
    if (!paused) sendQueryForUploadOffsetWithFetcherProperties(properties());
    return;
  }
  {
    platform::MutexLock lock(mutex_);
    fetcherInFlight_ = shared_from_this();
  }
  ZSDK_ZTMSessionFetcher::setCompletionHandler(
      [weak = std::weak_ptr<ZSDK_ZTMSessionUploadFetcher>(self())](
          const std::optional<Bytes>& data, const std::optional<Error>& error) {
        if (Ptr fetcher = weak.lock()) fetcher->startRequestFinished(data, error);
      });
  beginFetchMayDelay(true, true);
}

void ZSDK_ZTMSessionUploadFetcher::startRequestFinished(const std::optional<Bytes>& data,
                                                        const std::optional<Error>& error) {
  bool restarted = false;
  {
    platform::MutexLock lock(mutex_);
    fetcherInFlight_.reset();
    restarted = isRestartedUpload_;
  }
  if (testBlock()) {
    // A simulated upload reads its whole body, so a test sees the source's bytes used.
    generateChunkSubdata(
        0, fullUploadLength(),
        [self = self(), data, error](const std::optional<Bytes>&, const std::optional<Error>&) {
          self->invokeFinalCallback(data, error, true);
        });
    return;
  }
  if (restarted) return invokeFinalCallback(data, error, false);
  if (error) {
    if (!hasRetryTimer()) invokeFinalCallback(std::nullopt, error, true);
    return;
  }
  beginChunkFetches(data);
}

// Pausing, stopping, waiting.

void ZSDK_ZTMSessionUploadFetcher::pauseFetching() {
  {
    platform::MutexLock lock(mutex_);
    isPaused_ = true;
  }
  destroyChunkFetcher();
}

void ZSDK_ZTMSessionUploadFetcher::resumeFetching() {
  {
    platform::MutexLock lock(mutex_);
    if (!isPaused_) return;
    isPaused_ = false;
  }
  sendQueryForUploadOffsetWithFetcherProperties(properties());
}

void ZSDK_ZTMSessionUploadFetcher::stopFetching() {
  destroyChunkFetcher();
  bool hasLocation = false;
  {
    platform::MutexLock lock(mutex_);
    hasLocation = uploadLocationURL_.has_value();
    finished_ = true;
  }
  if (hasLocation) {
    sendCancelUploadWithFetcherProperties(properties());
    setUploadLocationURL(std::nullopt);
  }
  ZSDK_ZTMSessionFetcher::stopFetching();
}

void ZSDK_ZTMSessionUploadFetcher::stopFetchReleasingCallbacks(bool shouldReleaseCallbacks) {
  {
    platform::MutexLock lock(mutex_);
    if (fetcherInFlight_.get() == this) fetcherInFlight_.reset();
  }
  ZSDK_ZTMSessionFetcher::stopFetchReleasingCallbacks(shouldReleaseCallbacks);
  if (shouldReleaseCallbacks) {
    platform::MutexLock lock(mutex_);
    delegateCompletionHandler_ = nullptr;
    uploadDataProvider_ = nullptr;
  }
}

bool ZSDK_ZTMSessionUploadFetcher::waitForCompletionWithTimeout(double seconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(seconds));
  const auto left = [&] {
    return std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
  };
  while (true) {
    ZSDK_ZTMSessionFetcher::Ptr inFlight;
    bool generating = false;
    {
      platform::MutexLock lock(mutex_);
      inFlight = fetcherInFlight_;
      generating = isSubdataGenerating_;
    }
    if (!inFlight && !generating) break;
    if (left() <= 0) return false;
    if (generating) {
      waitStep();
    } else if (inFlight.get() == this) {
      if (!ZSDK_ZTMSessionFetcher::waitForCompletionWithTimeout(left())) return false;
    } else if (!inFlight->waitForCompletionWithTimeout(left())) {
      return false;
    }
  }
  // The caller's handler, posted to the callback queue, has run too.
  platform::DispatchGroup callbacks = callbackGroup();
  while (!callbacks.wait(std::chrono::milliseconds(0))) {
    if (left() <= 0) return false;
    waitStep();
  }
  return true;
}

// Ending.

void ZSDK_ZTMSessionUploadFetcher::invokeFinalCallback(const std::optional<Bytes>& data,
                                                       const std::optional<Error>& error,
                                                       bool shouldInvalidateLocation) {
  CompletionHandler handler;
  {
    platform::MutexLock lock(mutex_);
    if (finished_) return;
    finished_ = true;
    if (shouldInvalidateLocation) uploadLocationURL_.reset();
    handler = std::move(delegateCompletionHandler_);
    delegateCompletionHandler_ = nullptr;
    uploadDataProvider_ = nullptr;
  }
  if (handler) invokeOnCallbackQueueUnlessStopped([handler, data, error] { handler(data, error); });
  releaseCallbacks();
}

Error ZSDK_ZTMSessionUploadFetcher::prematureFinalError(const std::optional<Bytes>& data) const {
  platform::Value userInfo = platform::Value::dictionary();
  if (data && !data->empty()) userInfo.set(kZTMSessionFetcherStatusDataKey, *data);
  return Error(kZTMSessionFetcherStatusDomain, kZTMSessionFetcherStatusPrematureFinal,
               std::move(userInfo));
}
