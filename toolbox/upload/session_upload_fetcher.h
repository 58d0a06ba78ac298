#pragma once

// ZSDK_ZTMSessionUploadFetcher: sends a large body with the resumable, chunked upload protocol
// (upload_protocol.h): a start request that may carry metadata, then PUTs of consecutive byte
// ranges to the upload location the server returned, with a query of the server's received size
// after a client error or a pause, and a cancel request when the caller stops. The body comes
// from memory, a file, an open file handle or a caller's range provider. Chunk fetchers of file
// uploads may run in background sessions; their uploads are rebuilt at the next start.
//
// Thread-safe: the upload's state sits under its own lock, never held while a fetcher begins or
// stops or caller code runs. The caller's blocks run on the callback queue.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/thread_annotations.h"
#include "toolbox/fetcher/session_fetcher.h"

class ZSDK_ZTMSessionFetcherService;

inline constexpr const char* kZTMSessionFetcherUploadLocationObtainedNotification =
    "kZTMSessionFetcherUploadLocationObtainedNotification";
// The chunk's bytes could not be produced (user info "description" says why).
inline constexpr int64_t kZTMSessionFetcherErrorUploadChunkUnavailable = -2;
// Status of the error that ends an upload the server called final before it had the body, or
// whose upload headers made no sense.
inline constexpr int64_t kZTMSessionFetcherStatusPrematureFinal = 501;

class ZSDK_ZTMSessionUploadFetcher : public ZSDK_ZTMSessionFetcher {
 public:
  using Ptr = std::shared_ptr<ZSDK_ZTMSessionUploadFetcher>;
  using FileHandle = std::shared_ptr<std::FILE>;
  using DataProviderResponse =
      std::function<void(std::optional<Bytes> data, std::optional<Error> error)>;
  // Produces the bytes [offset, offset + length) and answers through the response, once.
  using DataProvider =
      std::function<void(int64_t offset, int64_t length, DataProviderResponse response)>;

  using ZSDK_ZTMSessionFetcher::ZSDK_ZTMSessionFetcher;
  ~ZSDK_ZTMSessionUploadFetcher() override;

  // A new upload: the request is the start request. A service of ours makes the fetcher (and
  // gives it its settings); chunk sizes below 1 mean no limit but the protocol's maximum.
  static Ptr uploadFetcherWithRequest(
      URLRequest request, std::string uploadMIMEType, int64_t chunkSize,
      const std::shared_ptr<ZSDK_ZTMSessionFetcherService>& service = nullptr);
  // Resumes an upload at a known location: it begins with a query of what the server has.
  static Ptr uploadFetcherWithLocation(
      std::optional<URL> location, std::string uploadMIMEType, int64_t chunkSize,
      const std::shared_ptr<ZSDK_ZTMSessionFetcherService>& service = nullptr);
  // Rebuilds an upload from a chunk fetcher's session metadata; null when it is incomplete or
  // inconsistent.
  static Ptr uploadFetcherForSessionIdentifierMetadata(const platform::Value& metadata);
  // The uploads whose chunk fetchers run in background sessions, rebuilding those of chunk
  // fetchers restored from an earlier run.
  static std::vector<Ptr> uploadFetchersForBackgroundSessions();
  static Ptr uploadFetcherForSessionIdentifier(const std::string& identifier);

  // Body sources (the first set wins: provider, data, file, handle).
  std::optional<Bytes> uploadData() const;
  void setUploadData(std::optional<Bytes> data);
  FileHandle uploadFileHandle() const;
  void setUploadFileHandle(FileHandle handle);
  std::optional<URL> uploadFileURL() const;
  void setUploadFileURL(std::optional<URL> url);
  DataProvider uploadDataProvider() const;
  void setUploadDataLength(int64_t length, DataProvider provider);
  void setUploadFileLength(int64_t length);
  // The body's full length; -1 while it cannot be told.
  int64_t fullUploadLength();

  // Overrides of the base fetcher.
  void beginFetchWithCompletionHandler(CompletionHandler handler) override;
  void setCompletionHandler(CompletionHandler handler) override;
  void stopFetching() override;
  bool waitForCompletionWithTimeout(double seconds) override;
  bool useBackgroundSession() const override;
  void setUseBackgroundSession(bool use) override;
  std::optional<platform::net::HTTPHeaderFields> responseHeaders() const override;
  int statusCode() const override;
  void setStatusCode(int status);
  void didSendBodyData(platform::net::URLSession& session, const platform::net::TaskPtr& task,
                       int64_t bytesSent, int64_t totalBytesSent,
                       int64_t totalBytesExpectedToSend) override;

  // Pausing keeps what the server received; resuming asks it how much that is.
  void pauseFetching();
  void resumeFetching();
  bool isPaused() const;
  // The fetcher in flight, or this one.
  ZSDK_ZTMSessionFetcher::Ptr activeFetcher();
  ZSDK_ZTMSessionFetcher::Ptr chunkFetcher() const;
  std::optional<URL> uploadLocationURL() const;
  void setUploadLocationURL(std::optional<URL> url);
  std::string uploadMIMEType() const;
  int64_t chunkSize() const;
  int64_t currentOffset() const;
  std::optional<URLRequest> lastChunkRequest() const;
  CompletionHandler delegateCompletionHandler() const;

  // The upload a chunk, query or cancel fetcher works for, while it lives.
  static Ptr parentUploadFetcher(const ZSDK_ZTMSessionFetcher& fetcher);

 protected:
  bool shouldReleaseCallbacksUponCompletion() const override { return false; }
  void stopFetchReleasingCallbacks(bool shouldReleaseCallbacks) override;

 private:
  enum class FetchKind { Chunk, Query, Cancel };

  void setLocationURL(std::optional<URL> location, std::string mimeType, int64_t chunkSize);
  void setupRequestHeaders();
  Ptr self() { return std::static_pointer_cast<ZSDK_ZTMSessionUploadFetcher>(shared_from_this()); }
  // The upload's steps.
  void startRequestFinished(const std::optional<Bytes>& data, const std::optional<Error>& error);
  void beginChunkFetches(const std::optional<Bytes>& data);
  void uploadNextChunkWithOffset(int64_t offset, const platform::Value& fetcherProperties);
  void beginChunkFetcher(const ZSDK_ZTMSessionFetcher::Ptr& fetcher, int64_t offset);
  void chunkFetcherFinished(ZSDK_ZTMSessionFetcher& fetcher, const std::optional<Bytes>& data,
                            const std::optional<Error>& error);
  void sendQueryForUploadOffsetWithFetcherProperties(const platform::Value& fetcherProperties);
  void queryFetcherFinished(ZSDK_ZTMSessionFetcher& fetcher, const std::optional<Bytes>& data,
                            const std::optional<Error>& error);
  void sendCancelUploadWithFetcherProperties(const platform::Value& fetcherProperties);
  // A fetcher to the upload location with the headers given; its comment is this fetcher's
  // followed by the suffix.
  ZSDK_ZTMSessionFetcher::Ptr makeUploadFetcher(const platform::Value& fetcherProperties,
                                                FetchKind kind,
                                                const platform::net::HTTPHeaderFields& headers,
                                                const std::string& commentSuffix);
  void attachProgress(const ZSDK_ZTMSessionFetcher::Ptr& fetcher);
  void destroyChunkFetcher();
  void invokeFinalCallback(const std::optional<Bytes>& data, const std::optional<Error>& error,
                           bool shouldInvalidateLocation);
  void reportProgress(int64_t bytesSent, int64_t totalSent, int64_t totalExpected);
  platform::Value sessionMetadata();
  // Produces the range from the body source and answers on the main queue.
  void generateChunkSubdata(int64_t offset, int64_t length, DataProviderResponse response);
  Error prematureFinalError(const std::optional<Bytes>& data) const;

  mutable platform::Mutex mutex_;
  ZSDK_ZTMSessionFetcher::Ptr chunkFetcher_ VKR_GUARDED_BY(mutex_);
  CompletionHandler delegateCompletionHandler_ VKR_GUARDED_BY(mutex_);
  int64_t initialBodyLength_ VKR_GUARDED_BY(mutex_) = 0;
  std::optional<URL> uploadLocationURL_ VKR_GUARDED_BY(mutex_);
  // Shared, not copied, with the ranges being made: bodies may be large.
  std::shared_ptr<const Bytes> uploadData_ VKR_GUARDED_BY(mutex_);
  FileHandle uploadFileHandle_ VKR_GUARDED_BY(mutex_);
  DataProvider uploadDataProvider_ VKR_GUARDED_BY(mutex_);
  int64_t uploadFileLength_ VKR_GUARDED_BY(mutex_) = -1;
  std::string uploadMIMEType_ VKR_GUARDED_BY(mutex_);
  int64_t chunkSize_ VKR_GUARDED_BY(mutex_) = 0;
  int64_t uploadGranularity_ VKR_GUARDED_BY(mutex_) = 0;
  bool isPaused_ VKR_GUARDED_BY(mutex_) = false;
  bool isRestartedUpload_ VKR_GUARDED_BY(mutex_) = false;
  bool shouldInitiateOffsetQuery_ VKR_GUARDED_BY(mutex_) = false;
  bool useBackgroundSessionOnChunkFetchers_ VKR_GUARDED_BY(mutex_) = false;
  int64_t currentOffset_ VKR_GUARDED_BY(mutex_) = 0;
  std::optional<platform::net::HTTPHeaderFields> responseHeaders_ VKR_GUARDED_BY(mutex_);
  int statusCode_ VKR_GUARDED_BY(mutex_) = -1;
  ZSDK_ZTMSessionFetcher::Ptr fetcherInFlight_ VKR_GUARDED_BY(mutex_);
  bool isSubdataGenerating_ VKR_GUARDED_BY(mutex_) = false;
  std::optional<URL> uploadFileURL_ VKR_GUARDED_BY(mutex_);
  std::optional<URLRequest> lastChunkRequest_ VKR_GUARDED_BY(mutex_);
  // The upload ended (final callback made): late answers of its fetchers do nothing.
  bool finished_ VKR_GUARDED_BY(mutex_) = false;
};
