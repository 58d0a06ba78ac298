#include "ads/foundation/cached_file.h"

#include <cinttypes>
#include <cstdio>

#include "ads/foundation/device.h"
#include "ads/foundation/header_parser.h"
#include "ads/foundation/url_additions.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/foundation/url_error.h"
#include "platform/net/http_date.h"
#include "platform/storage/app_home.h"
#include "platform/storage/file_manager.h"

namespace {

// Seconds from 1970 to the reference date of absolute times, 1 January 2001.
constexpr double kReferenceDateSince1970 = 978307200.0;

// A stable 64-bit hash of the text (FNV-1a): the file name must be the same in every run.
uint64_t stableHash(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

// The host as one folder name inside the caches folder: a host taken from a server's URL could
// otherwise be ".." or hold a separator and lead the file out of it.
std::string hostFolderName(const platform::URL& url) {
  const std::optional<std::string> host = url.host();
  if (!host || host->empty()) return "@local";
  std::string name = zad_stringByEscapingAsURLParameter(*host);
  if (name == "." || name == "..") name = std::string(name.size(), '_');
  return name;
}

std::filesystem::path cacheFilePath(const platform::URL& url) {
  char name[17];
  std::snprintf(name, sizeof name, "%" PRIx64, stableHash(url.absoluteString()));
  return platform::AppHome::caches() / hostFolderName(url) / name;
}

bool isWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

bool isRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

// The session's delegate for one cached file: hands it the events of its running task. Events
// of a task it no longer runs (after a cancel) are dropped.
class ZADCachedFile::Connection final : public platform::net::URLSessionDelegate {
 public:
  explicit Connection(std::weak_ptr<ZADCachedFile> file) : file_(std::move(file)) {}

  void willPerformHTTPRedirection(
      platform::net::URLSession&, const platform::net::TaskPtr& task,
      const platform::net::URLResponse& response, platform::net::URLRequest newRequest,
      std::function<void(std::optional<platform::net::URLRequest>)> completion) override {
    auto file = current(task);
    // A stopped fetch drops the completion, which cancels the task.
    if (file && newRequest.url && file->redirect(response, *newRequest.url)) {
      completion(std::move(newRequest));
    }
  }

  void didReceiveResponse(
      platform::net::URLSession&, const platform::net::TaskPtr& task,
      const platform::net::URLResponse& response,
      std::function<void(platform::net::ResponseDisposition)> completion) override {
    if (auto file = current(task)) file->receiveResponse(response);
    completion(current(task) ? platform::net::ResponseDisposition::Allow
                             : platform::net::ResponseDisposition::Cancel);
  }

  void didReceiveData(platform::net::URLSession&, const platform::net::TaskPtr& task,
                      const platform::Bytes& data) override {
    if (auto file = current(task)) file->receiveData(data);
  }

  void didCompleteWithError(platform::net::URLSession&, const platform::net::TaskPtr& task,
                            const std::optional<platform::Error>& error) override {
    if (auto file = current(task)) file->complete(error);
  }

 private:
  std::shared_ptr<ZADCachedFile> current(const platform::net::TaskPtr& task) const {
    auto file = file_.lock();
    return file && file->task_ == task ? file : nullptr;
  }

  const std::weak_ptr<ZADCachedFile> file_;
};

std::shared_ptr<ZADCachedFile> ZADCachedFile::make(platform::URL sourceURL) {
  return std::shared_ptr<ZADCachedFile>(new ZADCachedFile(std::move(sourceURL)));
}

ZADCachedFile::ZADCachedFile(platform::URL sourceURL)
    : sourceURL_(std::move(sourceURL)),
      filePath_(cacheFilePath(sourceURL_)),
      HTTPDestinationURL_(sourceURL_) {}

ZADCachedFile::~ZADCachedFile() {
  if (task_) task_->cancel();
  if (session_) session_->finishTasksAndInvalidate();
}

void ZADCachedFile::validate() {
  VKR_ASSERT_MAIN_THREAD();
  if (!task_) beginFetchWithCacheBuster(false);
}

void ZADCachedFile::validateWithCacheBuster() {
  VKR_ASSERT_MAIN_THREAD();
  if (!task_) beginFetchWithCacheBuster(true);
}

void ZADCachedFile::beginFetchWithCacheBuster(bool cacheBuster) {
  std::optional<platform::URL> url = sourceURL_;
  if (cacheBuster) {
    char unique[64];
    std::snprintf(unique, sizeof unique, "%.0f",
                  platform::now().secondsSince1970 - kReferenceDateSince1970);
    url = zad_URLByAppendingQueryParameters(sourceURL_, platform::Dictionary{{"unique", unique}});
    cachePolicy_ = kReloadIgnoringLocalCacheData;
  }
  if (!url) return tellDidFail(std::nullopt);
  platform::net::URLRequest request(*url);
  request.httpShouldHandleCookies = true;
  const std::optional<std::string> userAgent = ZADDevice::sharedInstance().userAgentString();
  if (userAgent && !userAgent->empty()) request.setValue(*userAgent, "User-Agent");
  request.setValue(fileModificationRFC1123DateString(), "If-Modified-Since");
  HTTPDestinationURL_ = *url;
  if (!session_) {
    session_ = platform::net::URLSession::make(
        platform::net::URLSessionConfiguration::defaultConfiguration(),
        std::make_shared<Connection>(weak_from_this()), platform::mainQueue());
  }
  receivedData_.clear();
  task_ = session_->dataTask(std::move(request));
  task_->resume();
}

void ZADCachedFile::cancel() {
  VKR_ASSERT_MAIN_THREAD();
  cleanUpConnection();
}

void ZADCachedFile::invalidate() {
  VKR_ASSERT_MAIN_THREAD();
  cleanUpConnection();
  (void)platform::FileManager::removeItem(filePath_);
}

void ZADCachedFile::cleanUpConnection() {
  if (task_) std::exchange(task_, nullptr)->cancel();
  receivedData_.clear();
  receivedModificationDate_.reset();
}

bool ZADCachedFile::redirect(const platform::net::URLResponse& response,
                             const platform::URL& target) {
  auto self = shared_from_this();  // the delegate may let go of this file
  HTTPDestinationURL_ = target;
  HTTPHeaders_ = response.headers;
  std::optional<platform::Error> stop;
  if (auto delegate = delegate_.lock())
    stop = delegate->cachedFileShouldRedirectToURL(*this, target);
  if (!stop) return true;
  cleanUpConnection();
  tellDidFail(stop);
  return false;
}

void ZADCachedFile::receiveResponse(const platform::net::URLResponse& response) {
  auto self = shared_from_this();
  if (!response.isHTTP) return;
  // A redirect the session could not follow (to an app's own scheme, say) is still a redirect.
  const std::optional<std::string> location = response.headers.value("Location");
  if (isRedirectStatus(response.statusCode) && location) {
    platform::Result<platform::URL> target = response.url.resolve(*location);
    if (target.ok() && !isWebScheme(target->scheme())) {
      if (!redirect(response, *target)) return;
      cleanUpConnection();
      return tellDidFail(
          platform::makeURLError(platform::kURLErrorUnsupportedURL, target->absoluteString()));
    }
  }
  HTTPStatusCode_ = response.statusCode;
  HTTPHeaders_ = response.headers;
  if (response.statusCode == 304) {
    tellDidEnd();
    cleanUpConnection();
  } else if (response.statusCode == 200) {
    receivedModificationDate_ = response.headers.value("Last-Modified");
  } else {
    tellDidFail(std::nullopt);
    cleanUpConnection();
  }
  receivedData_.clear();
}

void ZADCachedFile::receiveData(const platform::Bytes& data) {
  receivedData_.insert(receivedData_.end(), data.begin(), data.end());
}

void ZADCachedFile::complete(const std::optional<platform::Error>& error) {
  auto self = shared_from_this();
  if (error) {
    cleanUpConnection();
    return tellDidFail(error);
  }
  saveDataToFile();
  cleanUpConnection();
}

void ZADCachedFile::saveDataToFile() {
  platform::Status written = platform::FileManager::createDirectory(filePath_.parent_path(), true);
  if (written.ok()) written = platform::FileManager::writeAtomically(filePath_, receivedData_);
  if (!written.ok()) return tellDidFail(written.error());
  const std::optional<std::string> modified = std::exchange(receivedModificationDate_, {});
  // The file carries the answer's own date, so the next fetch asks whether it changed since.
  if (const std::optional<platform::Date> date =
          modified ? zad_dateFromHttpDateString(*modified) : std::nullopt) {
    (void)platform::FileManager::setModificationDate(filePath_, *date);
  }
  tellDidEnd();
}

void ZADCachedFile::tellDidEnd() {
  if (auto delegate = delegate_.lock()) delegate->cachedFileDownloadDidEnd(*this);
}

void ZADCachedFile::tellDidFail(const std::optional<platform::Error>& error) {
  if (auto delegate = delegate_.lock()) delegate->cachedFileDownloadDidFail(*this, error);
}

bool ZADCachedFile::fileExists() const { return platform::FileManager::fileExists(filePath_); }

std::optional<std::string> ZADCachedFile::contentAsString() const {
  platform::Result<platform::Bytes> content = platform::FileManager::contentsOfFile(filePath_);
  if (!content.ok()) return std::nullopt;
  return std::string(content->begin(), content->end());
}

std::optional<std::string> ZADCachedFile::fileModificationRFC1123DateString() const {
  platform::Result<platform::FileAttributes> attributes =
      platform::FileManager::attributesOfItem(filePath_);
  if (!attributes.ok()) return std::nullopt;
  return platform::net::formatHTTPDate(attributes->modificationDate);
}

std::string ZADCachedFile::description() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  return "<ZADCachedFile: " + std::string(address) +
         "> HTTP code: " + std::to_string(HTTPStatusCode_) +
         "\n\turl: " + sourceURL_.absoluteString() + "\n\tfile: " + filePath_.string();
}

std::optional<platform::net::HTTPHeaderFields> ZADCachedFile::headersForResponse(
    const platform::net::URLResponse& response) {
  if (!response.isHTTP) return std::nullopt;
  return response.headers;
}
