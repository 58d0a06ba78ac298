// The upload's chunk phase: the chunk fetchers, the offset query, the cancel request, progress.

#include <map>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/log.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"
#include "toolbox/upload/session_upload_fetcher.h"
#include "toolbox/upload/upload_protocol.h"

namespace up = upload_protocol;
using platform::Bytes;
using platform::Error;
using FetcherPtr = ZSDK_ZTMSessionFetcher::Ptr;

namespace {

// Chunk, query and cancel fetchers to the upload they work for, both held weakly (a fetcher's
// properties hold values only, not the upload itself).
struct Parents {
  platform::Mutex mutex;
  std::map<std::weak_ptr<ZSDK_ZTMSessionFetcher>, std::weak_ptr<ZSDK_ZTMSessionUploadFetcher>,
           std::owner_less<>>
      map VKR_GUARDED_BY(mutex);
};

Parents& parents() {
  static Parents* shared = new Parents();
  return *shared;
}

void rememberParent(const FetcherPtr& fetcher,
                    const std::shared_ptr<ZSDK_ZTMSessionUploadFetcher>& parent) {
  Parents& p = parents();
  platform::MutexLock lock(p.mutex);
  std::erase_if(p.map, [](const auto& entry) { return entry.first.expired(); });
  p.map[fetcher] = parent;
}

std::string headerOr(const std::optional<platform::net::HTTPHeaderFields>& headers,
                     const char* name) {
  if (!headers) return "";
  return headers->value(name).value_or("");
}

bool sameOrigin(const platform::URL& a, const platform::URL& b) {
  return a.scheme() == b.scheme() && a.host() == b.host() && a.port() == b.port();
}

}  // namespace

ZSDK_ZTMSessionUploadFetcher::Ptr ZSDK_ZTMSessionUploadFetcher::parentUploadFetcher(
    const ZSDK_ZTMSessionFetcher& fetcher) {
  Parents& p = parents();
  platform::MutexLock lock(p.mutex);
  for (const auto& [chunk, parent] : p.map) {
    if (chunk.lock().get() == &fetcher) return parent.lock();
  }
  return nullptr;
}

// The chunk phase.

void ZSDK_ZTMSessionUploadFetcher::beginChunkFetches(const std::optional<Bytes>& data) {
  const std::optional<platform::net::HTTPHeaderFields> headers =
      ZSDK_ZTMSessionFetcher::responseHeaders();
  const up::UploadStatus status =
      up::parseStatus(headers ? headers->value(up::kStatusHeader) : std::nullopt);
  const std::string locationText = headerOr(headers, up::kURLHeader);
  platform::Result<URL> location = URL::parse(locationText);
  // Only a go-ahead with a usable web location starts the chunks; anything else (a "final", a
  // status we don't know, no location) ends the upload.
  const bool usable = status == up::UploadStatus::Active && location.ok() &&
                      (location->scheme() == "http" || location->scheme() == "https") &&
                      !location->host().value_or("").empty();
  if (!usable) return invokeFinalCallback(std::nullopt, prematureFinalError(data), true);
  {
    platform::MutexLock lock(mutex_);
    uploadLocationURL_ = *location;
    uploadGranularity_ = up::parseGranularity(headers->value(up::kGranularityHeader));
  }
  platform::NotificationCenter::defaultCenter().post(
      kZTMSessionFetcherUploadLocationObtainedNotification, this, platform::Value(),
      shared_from_this());
  // An observer of the notification may have paused the upload.
  if (!isPaused()) uploadNextChunkWithOffset(0, properties());
}

void ZSDK_ZTMSessionUploadFetcher::uploadNextChunkWithOffset(int64_t offset,
                                                             const platform::Value& properties) {
  const int64_t fullLength = fullUploadLength();
  if (fullLength < 0) {
    return invokeFinalCallback(std::nullopt,
                               Error::withDescription(kZTMSessionFetcherErrorDomain,
                                                      kZTMSessionFetcherErrorUploadChunkUnavailable,
                                                      "The upload's length cannot be told"),
                               true);
  }
  std::optional<URL> file;
  int64_t chunkSize = 0;
  int64_t granularity = 0;
  {
    platform::MutexLock lock(mutex_);
    if (!uploadDataProvider_ && !uploadData_) file = uploadFileURL_;
    chunkSize = chunkSize_;
    granularity = uploadGranularity_;
  }
  const up::ChunkPlan plan =
      up::planChunk(offset, chunkSize, granularity, fullLength, file.has_value());
  platform::net::HTTPHeaderFields headers;
  headers.set(up::kCommandHeader, plan.command);
  headers.set("Content-Length", std::to_string(plan.length));
  headers.set(up::kOffsetHeader, std::to_string(plan.offset));
  const int64_t last = plan.offset + plan.length < 1 ? 0 : plan.offset + plan.length - 1;
  FetcherPtr chunk =
      makeUploadFetcher(properties, FetchKind::Chunk, headers,
                        platform::format("(%lld-%lld)", static_cast<long long>(plan.offset),
                                         static_cast<long long>(last)));
  attachProgress(chunk);
  // A whole file from its start goes as it is.
  if (file && plan.offset == 0 && plan.length == fullLength) {
    chunk->setBodyFileURL(file);
    return beginChunkFetcher(chunk, 0);
  }
  {
    platform::MutexLock lock(mutex_);
    isSubdataGenerating_ = true;
  }
  generateChunkSubdata(
      plan.offset, plan.length,
      [self = self(), chunk, plan, file](std::optional<Bytes> data, std::optional<Error> error) {
        {
          platform::MutexLock lock(self->mutex_);
          self->isSubdataGenerating_ = false;
        }
        if (!data) {
          if (!error) {
            error = Error::withDescription(kZTMSessionFetcherErrorDomain,
                                           kZTMSessionFetcherErrorUploadChunkUnavailable,
                                           "chunkData is nil");
          }
          return self->invokeFinalCallback(std::nullopt, error, true);
        }
        // A file upload's chunk goes from a file too (background sessions upload files); when
        // that file cannot be written the chunk goes from memory.
        bool fromFile = false;
        if (file) {
          const std::filesystem::path temporary =
              platform::AppHome::temporary() / ("ZTMUpload_temp_" + platform::randomUUIDString());
          if (platform::FileManager::writeAtomically(temporary, *data).ok()) {
            chunk->setBodyFileURL(URL::fileURL(temporary.string()).value());
            fromFile = true;
          }
        }
        if (!fromFile) chunk->setBodyData(std::move(*data));
        self->beginChunkFetcher(chunk, plan.offset);
      });
}

void ZSDK_ZTMSessionUploadFetcher::beginChunkFetcher(const FetcherPtr& fetcher, int64_t offset) {
  {
    platform::MutexLock lock(mutex_);
    // Paused or stopped while the range was made: the chunk is not sent.
    if (isPaused_ || finished_) return;
    currentOffset_ = offset;
    chunkFetcher_ = fetcher;
    fetcherInFlight_ = fetcher;
  }
  fetcher->beginFetchWithDelegate(self(), &ZSDK_ZTMSessionUploadFetcher::chunkFetcherFinished);
}

void ZSDK_ZTMSessionUploadFetcher::chunkFetcherFinished(ZSDK_ZTMSessionFetcher& fetcher,
                                                        const std::optional<Bytes>& data,
                                                        const std::optional<Error>& error) {
  const std::optional<platform::net::HTTPHeaderFields> headers = fetcher.responseHeaders();
  const up::UploadStatus status =
      up::parseStatus(headers ? headers->value(up::kStatusHeader) : std::nullopt);
  const bool isFinal = status == up::UploadStatus::Final;
  const std::optional<URLRequest> request = fetcher.request();
  const std::string command =
      request ? request->valueForHTTPHeaderField(up::kCommandHeader).value_or("") : "";
  bool queryFirst = false;
  {
    platform::MutexLock lock(mutex_);
    if (fetcherInFlight_.get() == &fetcher) fetcherInFlight_.reset();
    queryFirst = std::exchange(shouldInitiateOffsetQuery_, false);
  }
  const platform::Value chunkProperties = fetcher.properties();
  if (error) {
    const bool clientError = error->domain() == kZTMSessionFetcherStatusDomain &&
                             error->code() >= 400 && error->code() <= 499 && error->code() != 404;
    // Our platform does not carry a background task into the next run: a chunk restored from an
    // earlier run finds none, and asks the server what it has instead.
    const bool lostInRestart = error->domain() == kZTMSessionFetcherErrorDomain &&
                               error->code() == kZTMSessionFetcherErrorBackgroundFetchFailed;
    if (queryFirst || lostInRestart || (clientError && !isFinal)) {
      destroyChunkFetcher();
      return sendQueryForUploadOffsetWithFetcherProperties(chunkProperties);
    }
    invokeFinalCallback(data, error, false);
    return destroyChunkFetcher();
  }
  if (!isFinal) {
    // A server that takes the last bytes without calling the upload final would have us finalize
    // for ever.
    if (command == up::kCommandFinalize || command == up::kCommandUploadFinalize) {
      invokeFinalCallback(std::nullopt, prematureFinalError(data), true);
      return destroyChunkFetcher();
    }
    const std::optional<int64_t> sent = up::parseByteCount(
        request ? request->valueForHTTPHeaderField("Content-Length").value_or("") : "");
    int64_t next = 0;
    {
      platform::MutexLock lock(mutex_);
      next = currentOffset_ + sent.value_or(0);
      currentOffset_ = next;
    }
    destroyChunkFetcher();
    return uploadNextChunkWithOffset(next, chunkProperties);
  }
  setDownloadedData(data);
  setStatusCode(fetcher.statusCode());
  invokeFinalCallback(data, std::nullopt, true);
  destroyChunkFetcher();
}

void ZSDK_ZTMSessionUploadFetcher::destroyChunkFetcher() {
  FetcherPtr chunk;
  std::optional<URL> uploadFile;
  {
    platform::MutexLock lock(mutex_);
    chunk = std::move(chunkFetcher_);
    chunkFetcher_.reset();
    if (chunk && fetcherInFlight_ == chunk) fetcherInFlight_.reset();
    uploadFile = uploadFileURL_;
  }
  if (!chunk) return;
  chunk->stopFetching();
  if (std::optional<URL> body = chunk->bodyFileURL(); body && body != uploadFile) {
    if (std::optional<std::string> path = body->filePath()) {
      (void)platform::FileManager::removeItem(*path);  // a temporary chunk file; gone is fine
    }
  }
  std::optional<platform::net::HTTPHeaderFields> headers = chunk->responseHeaders();
  chunk->setProperties(platform::Value());
  chunk->setRetryBlock(nullptr);
  platform::MutexLock lock(mutex_);
  if (headers) responseHeaders_ = std::move(headers);
}

// The offset query and the cancel request.

void ZSDK_ZTMSessionUploadFetcher::sendQueryForUploadOffsetWithFetcherProperties(
    const platform::Value& properties) {
  platform::net::HTTPHeaderFields headers;
  headers.set(up::kCommandHeader, up::kCommandQuery);
  FetcherPtr query = makeUploadFetcher(properties, FetchKind::Query, headers, "(query offset)");
  {
    platform::MutexLock lock(mutex_);
    if (finished_) return;
    fetcherInFlight_ = query;
  }
  query->beginFetchWithDelegate(self(), &ZSDK_ZTMSessionUploadFetcher::queryFetcherFinished);
}

void ZSDK_ZTMSessionUploadFetcher::queryFetcherFinished(ZSDK_ZTMSessionFetcher& fetcher,
                                                        const std::optional<Bytes>& data,
                                                        const std::optional<Error>& error) {
  {
    platform::MutexLock lock(mutex_);
    if (fetcherInFlight_.get() == &fetcher) fetcherInFlight_.reset();
  }
  const std::optional<platform::net::HTTPHeaderFields> headers = fetcher.responseHeaders();
  std::optional<Error> failure = error;
  std::optional<int64_t> received;
  const int64_t fullLength = fullUploadLength();
  if (!failure) {
    const up::UploadStatus status =
        up::parseStatus(headers ? headers->value(up::kStatusHeader) : std::nullopt);
    if (headers)
      received = up::parseByteCount(headers->value(up::kSizeReceivedHeader).value_or(""));
    // A count we can't read, or one outside the body, is no place to go on from.
    if (status == up::UploadStatus::Final || !received || *received > fullLength) {
      failure = prematureFinalError(data);
    }
  }
  if (failure) return chunkFetcherFinished(fetcher, data, failure);
  {
    platform::MutexLock lock(mutex_);
    uploadGranularity_ = up::parseGranularity(headers->value(up::kGranularityHeader));
  }
  uploadNextChunkWithOffset(*received, fetcher.properties());
}

void ZSDK_ZTMSessionUploadFetcher::sendCancelUploadWithFetcherProperties(
    const platform::Value& properties) {
  platform::net::HTTPHeaderFields headers;
  headers.set(up::kCommandHeader, up::kCommandCancel);
  FetcherPtr cancel = makeUploadFetcher(properties, FetchKind::Cancel, headers, "(cancel)");
  {
    platform::MutexLock lock(mutex_);
    fetcherInFlight_ = cancel;
  }
  cancel->beginFetchWithCompletionHandler(
      [weak = std::weak_ptr<ZSDK_ZTMSessionUploadFetcher>(self()), cancel = cancel.get()](
          const std::optional<Bytes>&, const std::optional<Error>&) {
        Ptr upload = weak.lock();
        if (!upload) return;
        platform::MutexLock lock(upload->mutex_);
        if (upload->fetcherInFlight_.get() == cancel) upload->fetcherInFlight_.reset();
      });
}

// Making the chunk, query and cancel fetchers.

FetcherPtr ZSDK_ZTMSessionUploadFetcher::makeUploadFetcher(
    const platform::Value& properties, FetchKind kind,
    const platform::net::HTTPHeaderFields& headers, const std::string& commentSuffix) {
  std::optional<URL> location = uploadLocationURL();
  URLRequest request;
  request.url = location;
  request.httpMethod = "PUT";
  if (std::optional<URLRequest> start = this->request()) {
    if (auto agent = start->valueForHTTPHeaderField("User-Agent"); agent && !agent->empty()) {
      request.setValue(*agent, "User-Agent");
    }
    request.timeoutInterval = start->timeoutInterval;
  }
  for (const auto& [name, value] : headers.fields()) request.setValue(value, name);
  FetcherPtr fetcher = ZSDK_ZTMSessionFetcher::fetcherWithRequest(request);
  const std::string comment = this->comment();
  fetcher->setComment((comment.empty() ? "upload" : comment) + " " + commentSuffix);
  if (platform::QueuePtr queue = callbackQueue()) fetcher->setCallbackQueue(queue);
  fetcher->setSessionUserInfo(sessionUserInfo());
  fetcher->setConfigurationBlock(configurationBlock());
  fetcher->setAllowedInsecureSchemes(allowedInsecureSchemes());
  fetcher->setAllowLocalhostRequest(allowLocalhostRequest());
  fetcher->setAllowInvalidServerCertificates(allowInvalidServerCertificates());
  fetcher->setUseUploadTask(kind == FetchKind::Chunk);
  if (kind == FetchKind::Chunk && uploadFileURL() && useBackgroundSession()) {
    fetcher->createSessionIdentifierWithMetadata(sessionMetadata());
  }
  platform::Value chunkProperties =
      properties.isDictionary() ? properties : platform::Value::dictionary();
  fetcher->setProperties(chunkProperties);
  rememberParent(fetcher, self());
  // The location is the server's own: a redirect elsewhere would send the body to another host.
  if (location) {
    fetcher->setWillRedirectBlock(
        [location](const URLResponse&, const URLRequest& next,
                   std::function<void(std::optional<URLRequest>)> completion) {
          if (next.url && sameOrigin(*next.url, *location)) return completion(next);
          completion(std::nullopt);
        });
  }
  fetcher->setRetryEnabled(isRetryEnabled());
  fetcher->setMaxRetryInterval(maxRetryInterval());
  if (isRetryEnabled()) {
    // A retry of the upload is an offset query, never a resend of the same chunk.
    fetcher->setRetryBlock(
        [weak = std::weak_ptr<ZSDK_ZTMSessionUploadFetcher>(self())](
            bool suggested, const std::optional<Error>& error, std::function<void(bool)> response) {
          Ptr upload = weak.lock();
          const auto decided = [weak, response](bool retry) {
            if (Ptr upload = weak.lock(); upload && retry) {
              platform::MutexLock lock(upload->mutex_);
              upload->shouldInitiateOffsetQuery_ = true;
              upload->currentOffset_ = 0;
            }
            response(false);
          };
          RetryBlock own = upload ? upload->retryBlock() : nullptr;
          if (own) return own(suggested, error, decided);
          decided(suggested);
        });
  }
  platform::MutexLock lock(mutex_);
  lastChunkRequest_ = request;
  return fetcher;
}

platform::Value ZSDK_ZTMSessionUploadFetcher::sessionMetadata() {
  const int64_t fullLength = fullUploadLength();
  platform::MutexLock lock(mutex_);
  platform::Value metadata = platform::Value::dictionary();
  metadata.set("_upChunk", true);
  if (uploadFileURL_) metadata.set("_upFileURL", uploadFileURL_->absoluteString());
  metadata.set("_upFileLen", fullLength);
  if (uploadLocationURL_) metadata.set("_upLocURL", uploadLocationURL_->absoluteString());
  if (!uploadMIMEType_.empty()) metadata.set("_uploadMIME", uploadMIMEType_);
  metadata.set("_upChSize", chunkSize_);
  metadata.set("_upOffset", currentOffset_);
  return metadata;
}

// Progress.

void ZSDK_ZTMSessionUploadFetcher::attachProgress(const FetcherPtr& fetcher) {
  fetcher->setSendProgressBlock([weak = std::weak_ptr<ZSDK_ZTMSessionUploadFetcher>(self())](
                                    int64_t bytesSent, int64_t totalSent, int64_t) {
    Ptr upload = weak.lock();
    if (!upload) return;
    int64_t initial = 0;
    int64_t offset = 0;
    {
      platform::MutexLock lock(upload->mutex_);
      initial = upload->initialBodyLength_;
      offset = upload->currentOffset_;
    }
    upload->reportProgress(bytesSent, initial + totalSent + offset,
                           upload->fullUploadLength() + initial);
  });
}

void ZSDK_ZTMSessionUploadFetcher::didSendBodyData(platform::net::URLSession&,
                                                   const platform::net::TaskPtr&, int64_t bytesSent,
                                                   int64_t totalBytesSent,
                                                   int64_t totalBytesExpectedToSend) {
  reportProgress(bytesSent, totalBytesSent, fullUploadLength() + totalBytesExpectedToSend);
}

void ZSDK_ZTMSessionUploadFetcher::reportProgress(int64_t bytesSent, int64_t totalSent,
                                                  int64_t totalExpected) {
  SendProgressBlock block = sendProgressBlock();
  if (!block) return;
  invokeOnCallbackQueueUnlessStopped(
      [block, bytesSent, totalSent, totalExpected, keep = chunkFetcher()] {
        block(bytesSent, totalSent, totalExpected);
      });
}
