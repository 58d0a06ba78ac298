#include "toolbox/fetcher/fetcher_background_identity.h"

#include "platform/foundation/crypto.h"
#include "toolbox/fetcher/session_identifier.h"

using platform::Value;

std::string FetcherBackgroundIdentity::identifier() const {
  platform::MutexLock lock(mutex_);
  return identifier_;
}

std::optional<Value> FetcherBackgroundIdentity::adopt(const std::string& identifier) {
  platform::MutexLock lock(mutex_);
  identifier_ = identifier;
  useBackgroundSession_ = true;
  return metadataLocked();
}

void FetcherBackgroundIdentity::create(const Value& metadata) {
  platform::MutexLock lock(mutex_);
  Value all = Value::dictionary();
  const auto add = [&all](const std::optional<Value>& entries) {
    if (!entries || !entries->isDictionary()) return;
    for (const auto& [key, value] : *entries->dictionaryIf()) all.set(key, value);
  };
  add(userInfo_);
  add(metadata);
  uuid_ = platform::randomUUIDString();
  identifier_ = makeSessionIdentifier(uuid_, all);
  created_ = true;
}

std::string FetcherBackgroundIdentity::forget() {
  platform::MutexLock lock(mutex_);
  created_ = false;
  return std::exchange(identifier_, {});
}

bool FetcherBackgroundIdentity::created() const {
  platform::MutexLock lock(mutex_);
  return created_;
}

std::string FetcherBackgroundIdentity::uuid() const {
  platform::MutexLock lock(mutex_);
  return uuid_;
}

std::optional<Value> FetcherBackgroundIdentity::metadata() const {
  platform::MutexLock lock(mutex_);
  return metadataLocked();
}

std::optional<Value> FetcherBackgroundIdentity::metadataLocked() const {
  std::optional<SessionIdentifierParts> parts = parseSessionIdentifier(identifier_);
  if (!parts) return std::nullopt;
  uuid_ = parts->uuid;
  return parts->metadata;
}

std::optional<Value> FetcherBackgroundIdentity::userInfo() const {
  platform::MutexLock lock(mutex_);
  if (!userInfo_) {
    if (std::optional<Value> metadata = metadataLocked()) {
      Value callers = Value::dictionary();
      for (const auto& [key, value] : *metadata->dictionaryIf()) {
        if (!key.starts_with("_")) callers.set(key, value);
      }
      if (callers.size() > 0) userInfo_ = std::move(callers);
    }
  }
  return userInfo_;
}

void FetcherBackgroundIdentity::setUserInfo(std::optional<Value> info) {
  platform::MutexLock lock(mutex_);
  userInfo_ = std::move(info);
}
