#pragma once

// What fetch debug logging keeps per fetcher: the last transcript, the bytes of an uploaded
// stream as they were read, the URL the last entry was for, and texts that replace the bodies in
// the next entry. Thread-safe: the state sits under the owner's lock.

#include <optional>
#include <string>

#include "platform/foundation/url.h"
#include "platform/foundation/value.h"
#include "toolbox/fetcher/locked_property.h"

class FetcherLogState {
 public:
  void appendStreamData(const uint8_t* bytes, size_t length) {
    platform::MutexLock lock(mutex_);
    if (!streamData_) streamData_.emplace();
    streamData_->insert(streamData_->end(), bytes, bytes + length);
  }
  // Answers the text and clears it: it replaces one body only.
  std::optional<std::string> takeRequestBody() {
    platform::MutexLock lock(mutex_);
    return std::exchange(requestBody_, std::nullopt);
  }
  std::optional<std::string> takeResponseBody() {
    platform::MutexLock lock(mutex_);
    return std::exchange(responseBody_, std::nullopt);
  }
  // Answers the previous URL and keeps the new one.
  std::optional<platform::URL> exchangeRedirectedFrom(std::optional<platform::URL> url) {
    platform::MutexLock lock(mutex_);
    return std::exchange(redirectedFrom_, std::move(url));
  }

  VKR_LOCKED_PROPERTY(std::string, log, setLog, log_)
  VKR_LOCKED_PROPERTY(std::optional<platform::Bytes>, streamData, setStreamData, streamData_)
  VKR_LOCKED_PROPERTY(std::optional<platform::URL>, redirectedFrom, setRedirectedFrom,
                      redirectedFrom_)
  VKR_LOCKED_PROPERTY(std::optional<std::string>, requestBody, setRequestBody, requestBody_)
  VKR_LOCKED_PROPERTY(std::optional<std::string>, responseBody, setResponseBody, responseBody_)

 private:
  mutable platform::Mutex mutex_;
  std::string log_ VKR_GUARDED_BY(mutex_);
  std::optional<platform::Bytes> streamData_ VKR_GUARDED_BY(mutex_);
  std::optional<platform::URL> redirectedFrom_ VKR_GUARDED_BY(mutex_);
  std::optional<std::string> requestBody_ VKR_GUARDED_BY(mutex_);
  std::optional<std::string> responseBody_ VKR_GUARDED_BY(mutex_);
};
