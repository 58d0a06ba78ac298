#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/url.h"
#include "platform/net/url_session.h"

class ZADCachedFile;

// Told how a cached file's fetch goes. Calls arrive on the main thread.
class ZADCachedFileDelegate {
 public:
  virtual ~ZADCachedFileDelegate() = default;
  // Asked before each redirect is followed: an error stops the fetch (and is then reported as its
  // failure), nothing lets it go on.
  virtual std::optional<platform::Error> cachedFileShouldRedirectToURL(
      ZADCachedFile& file, const platform::URL& url) = 0;
  // The answer is stored, or the server said the stored file is current (304).
  virtual void cachedFileDownloadDidEnd(ZADCachedFile& file) = 0;
  // The fetch failed: with the load's, the write's or the redirect hook's error, or none when the
  // server answered another status.
  virtual void cachedFileDownloadDidFail(ZADCachedFile& file,
                                         const std::optional<platform::Error>& error) = 0;
};

// One URL fetched into a file of the app's caches folder and revalidated with a conditional GET
// ("If-Modified-Since" the file's modification date, which is the answer's "Last-Modified").
// Redirects to web URLs are followed after the delegate agreed; a redirect elsewhere (an app or
// store link) is offered to the delegate too, and fails as unsupported when it lets it go on.
//
// Main thread only: the fetch runs on the main queue and the delegate hears of it there.
class ZADCachedFile : public std::enable_shared_from_this<ZADCachedFile> {
 public:
  // Cache policies: the protocol's rules, or reload ignoring local data. Sessions keep no
  // response cache here, so both load from the server.
  static constexpr uint64_t kUseProtocolCachePolicy = 0;
  static constexpr uint64_t kReloadIgnoringLocalCacheData = 1;

  static std::shared_ptr<ZADCachedFile> make(platform::URL sourceURL);
  ~ZADCachedFile();
  ZADCachedFile(const ZADCachedFile&) = delete;
  ZADCachedFile& operator=(const ZADCachedFile&) = delete;

  // Starts a fetch unless one is running; with the cache buster the URL gets a "unique" query
  // parameter of the current time and the file reloads from then on.
  void validate();
  void validateWithCacheBuster();
  // Stops the fetch; the file stays.
  void cancel();
  // Stops the fetch and deletes the file.
  void invalidate();

  const platform::URL& sourceURL() const { return sourceURL_; }
  // The URL of the latest request sent: the source, then each redirect's target.
  const platform::URL& HTTPDestinationURL() const { return HTTPDestinationURL_; }
  uint64_t cachePolicy() const { return cachePolicy_; }
  void setCachePolicy(uint64_t policy) { cachePolicy_ = policy; }
  int64_t HTTPStatusCode() const { return HTTPStatusCode_; }
  // The header fields of the last answer, a redirect's included.
  const platform::net::HTTPHeaderFields& HTTPHeaders() const { return HTTPHeaders_; }
  bool isFetching() const { return task_ != nullptr; }
  std::weak_ptr<ZADCachedFileDelegate> delegate() const { return delegate_; }
  void setDelegate(std::weak_ptr<ZADCachedFileDelegate> delegate) {
    delegate_ = std::move(delegate);
  }

  // <caches>/<source host, escaped; "@local" without one>/<hash of the source URL in hex>.
  const std::filesystem::path& filePath() const { return filePath_; }
  bool fileExists() const;
  // The file as UTF-8 text; nothing when it cannot be read.
  std::optional<std::string> contentAsString() const;
  // The file's modification date as an HTTP date; nothing without a file.
  std::optional<std::string> fileModificationRFC1123DateString() const;
  std::string description() const;

  static std::optional<platform::net::HTTPHeaderFields> headersForResponse(
      const platform::net::URLResponse& response);

 private:
  class Connection;
  explicit ZADCachedFile(platform::URL sourceURL);
  void beginFetchWithCacheBuster(bool cacheBuster);
  void cleanUpConnection();
  // The session's events for the running task.
  bool redirect(const platform::net::URLResponse& response, const platform::URL& target);
  void receiveResponse(const platform::net::URLResponse& response);
  void receiveData(const platform::Bytes& data);
  void complete(const std::optional<platform::Error>& error);
  void saveDataToFile();
  void tellDidEnd();
  void tellDidFail(const std::optional<platform::Error>& error);

  const platform::URL sourceURL_;
  const std::filesystem::path filePath_;
  platform::URL HTTPDestinationURL_;
  uint64_t cachePolicy_ = kUseProtocolCachePolicy;
  int64_t HTTPStatusCode_ = 0;
  platform::net::HTTPHeaderFields HTTPHeaders_;
  std::weak_ptr<ZADCachedFileDelegate> delegate_;
  std::shared_ptr<platform::net::URLSession> session_;
  platform::net::TaskPtr task_;
  platform::Bytes receivedData_;
  std::optional<std::string> receivedModificationDate_;
};
