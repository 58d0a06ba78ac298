#include "toolbox/fetcher/fetcher_request.h"

#include <filesystem>

#include "platform/foundation/log.h"
#include "platform/foundation/url_error.h"
#include "platform/net/ascii.h"
#include "platform/net/host.h"
#include "toolbox/fetcher/session_cookie_storage.h"
#include "toolbox/fetcher/session_fetcher.h"

FetcherRequest::FetcherRequest(std::optional<URLRequest> request) : request_(std::move(request)) {
  platform::MutexLock lock(mutex_);
  if (request_ && request_->httpBody) {
    bodyLength_ = static_cast<int64_t>(request_->httpBody->size());
  }
}

std::optional<int64_t> FetcherRequest::refusal(bool hasSessionIdentifier) const {
  platform::MutexLock lock(mutex_);
  const URL* url = request_ && request_->url ? &*request_->url : nullptr;
  if (!url && !downloadResumeData_ && !hasSessionIdentifier) {
    return kZTMSessionFetcherErrorDownloadFailed;
  }
  if (url && !schemeAllowed(*url)) return kZTMSessionFetcherErrorInsecureRequest;
  return std::nullopt;
}

// Plain-text schemes only where allowed.
bool FetcherRequest::schemeAllowed(const URL& url) const {
  const std::string scheme = url.scheme();
  if (scheme == "data" || scheme == "https") return true;
  if (platform::net::isLocalHost(url.host().value_or(""))) {
    if (!allowLocalhostRequest_) {
      platform::logf("Localhost fetch disallowed for %s", url.absoluteString().c_str());
    }
    return allowLocalhostRequest_;
  }
  for (const std::string& insecure : allowedInsecureSchemes_) {
    if (platform::net::equalsIgnoringCase(insecure, scheme)) return true;
  }
  // The system's log, like every other system-log line, not the toolbox logger's output.
  platform::logf("Fetch disallowed for %s", url.absoluteString().c_str());
  return false;
}

FetcherRequest::Prepared FetcherRequest::prepare() {
  platform::MutexLock lock(mutex_);
  URLRequest& request = request_ ? *request_ : request_.emplace();
  Prepared prepared;
  prepared.method =
      request.valueForHTTPHeaderField("X-HTTP-Method-Override").value_or(request.httpMethod);
  prepared.isGET = prepared.method.empty() || prepared.method == "GET";
  prepared.needsUploadTask = useUploadTask_ || bodyFileURL_ || bodyStreamProvider_;
  if (bodyData_ || bodyStreamProvider_ || request.httpBodyStream) {
    if (prepared.isGET) {
      request.httpMethod = "POST";
      prepared.isGET = false;
    }
    if (bodyData_ && !prepared.needsUploadTask) request.httpBody = *bodyData_;
  }
  prepared.request = request;
  return prepared;
}

std::optional<platform::Bytes> FetcherRequest::bodyData() const {
  platform::MutexLock lock(mutex_);
  return bodyData_ ? std::optional<platform::Bytes>(*bodyData_) : std::nullopt;
}

void FetcherRequest::setBodyData(std::optional<platform::Bytes> data) {
  platform::MutexLock lock(mutex_);
  bodyData_ = data ? std::make_shared<const platform::Bytes>(std::move(*data)) : nullptr;
}

std::shared_ptr<const platform::Bytes> FetcherRequest::sharedBodyData() const {
  platform::MutexLock lock(mutex_);
  return bodyData_;
}

std::string FetcherRequest::failingURLText() const {
  platform::MutexLock lock(mutex_);
  return request_ && request_->url ? request_->urlString() : std::string("(missing URL)");
}

std::string FetcherRequest::urlString() const {
  platform::MutexLock lock(mutex_);
  return request_ ? request_->urlString() : std::string();
}

int64_t FetcherRequest::bodyLength() {
  platform::MutexLock lock(mutex_);
  if (bodyLength_ == -1) {
    if (bodyData_) {
      bodyLength_ = static_cast<int64_t>(bodyData_->size());
    } else if (bodyFileURL_) {
      std::error_code failed;
      const auto size = std::filesystem::file_size(bodyFileURL_->filePath().value_or(""), failed);
      if (!failed) bodyLength_ = static_cast<int64_t>(size);
    }
  }
  return bodyLength_;
}

void FetcherRequest::setSentBodyLength(int64_t length) {
  platform::MutexLock lock(mutex_);
  bodyLength_ = length;
}

void FetcherRequest::adoptIfNone(const URLRequest& request) {
  platform::MutexLock lock(mutex_);
  if (!request_) request_ = request;
}

void FetcherRequest::dropAuthorization() {
  platform::MutexLock lock(mutex_);
  if (request_) request_->headers.remove("Authorization");
}

bool FetcherRequest::redirectSignedRequest(const URL& url) {
  platform::MutexLock lock(mutex_);
  if (!request_ || !request_->url || url == *request_->url ||
      !request_->headers.contains("Authorization")) {
    return false;
  }
  request_->url = url;
  return true;
}

void FetcherRequest::setCookieStorageMethod(int64_t method) {
  platform::MutexLock lock(mutex_);
  switch (method) {
    case 1:
      break;
    case 2:
      cookieStorage_ = platform::net::HTTPCookieStorage::shared();
      break;
    case 3:
      cookieStorage_ = std::make_shared<ZSDK_ZTMSessionCookieStorage>();
      break;
    default:
      cookieStorage_.reset();  // the process-wide jar, chosen when the fetch begins
  }
}

std::shared_ptr<platform::net::HTTPCookieStorage> FetcherRequest::cookieStorageOr(
    std::shared_ptr<platform::net::HTTPCookieStorage> fallback) {
  platform::MutexLock lock(mutex_);
  if (!cookieStorage_) cookieStorage_ = std::move(fallback);
  return cookieStorage_;
}

void FetcherRequest::setProperties(platform::Value properties) {
  platform::MutexLock lock(mutex_);
  properties_ = properties.isDictionary() ? std::move(properties) : platform::Value();
}

void FetcherRequest::setProperty(const std::string& key, platform::Value value) {
  platform::MutexLock lock(mutex_);
  if (value.isNull()) {
    properties_.remove(key);
  } else {
    properties_.set(key, std::move(value));
  }
}

platform::Value FetcherRequest::propertyForKey(const std::string& key) const {
  platform::MutexLock lock(mutex_);
  return properties_[key];
}

void FetcherRequest::addProperties(const platform::Value& dictionary) {
  const platform::Dictionary* entries = dictionary.dictionaryIf();
  if (entries == nullptr) return;
  platform::MutexLock lock(mutex_);
  for (const auto& [key, value] : *entries) properties_.set(key, value);
}

bool FetcherRequest::setDeferResponseBodyLogging(bool defer) {
  platform::MutexLock lock(mutex_);
  if (defer == deferResponseBodyLogging_) return false;
  deferResponseBodyLogging_ = defer;
  return !defer && !hasLoggedError_;
}

void FetcherRequest::markErrorLogged() {
  platform::MutexLock lock(mutex_);
  hasLoggedError_ = true;
}
