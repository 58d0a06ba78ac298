#pragma once

// A fetcher's background identity: the session identifier (made by the fetcher or given to it),
// the metadata it carries, and whether the fetch runs in a background session. Thread-safe: the
// state sits under the owner's lock.

#include <optional>
#include <string>

#include "platform/foundation/value.h"
#include "toolbox/fetcher/locked_property.h"

class FetcherBackgroundIdentity {
 public:
  std::string identifier() const;
  // Adopts an identifier (a background session's); answers its metadata, if it has any.
  std::optional<platform::Value> adopt(const std::string& identifier);
  // Makes a new identifier carrying the caller's user info and `metadata`.
  void create(const platform::Value& metadata);
  // Forgets the identifier; answers the one forgotten (empty when there was none).
  std::string forget();
  bool created() const;
  std::string uuid() const;
  // The identifier's metadata dictionary, or nullopt.
  std::optional<platform::Value> metadata() const;
  // The caller's part of the metadata (keys without a leading "_"), or what the caller set.
  std::optional<platform::Value> userInfo() const;
  void setUserInfo(std::optional<platform::Value> info);

  VKR_LOCKED_PROPERTY(bool, useBackgroundSession, setUseBackgroundSession, useBackgroundSession_)

 private:
  std::optional<platform::Value> metadataLocked() const VKR_REQUIRES(mutex_);

  mutable platform::Mutex mutex_;
  std::string identifier_ VKR_GUARDED_BY(mutex_);
  bool created_ VKR_GUARDED_BY(mutex_) = false;
  mutable std::string uuid_ VKR_GUARDED_BY(mutex_);
  bool useBackgroundSession_ VKR_GUARDED_BY(mutex_) = false;
  mutable std::optional<platform::Value> userInfo_ VKR_GUARDED_BY(mutex_);
};
