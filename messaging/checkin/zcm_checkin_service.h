#pragma once
// The messaging client's view of the device credentials: the record its cache (the check-in
// store) held at creation, re-read only on request. It never checks in by itself; the identity
// client does, and a later check-in is seen at the next tryToLoadPrefetchedCheckinPreferences().
// Main thread only, like the client that owns it.
#include <memory>
#include <optional>
#include <string>

#include "instance_id/checkin_record.h"
#include "messaging/checkin/zcm_checkin_preferences.h"
#include "platform/foundation/error.h"

// Where the record is read from and removed; nothing is ever saved through it.
class ZCMCheckinCache {
 public:
  virtual ~ZCMCheckinCache() = default;
  virtual std::optional<ZCMCheckinPreferences> cachedCheckinPreferences() = 0;
  virtual bool removeCheckinPreferences(std::optional<platform::Error>* error) = 0;
};

// Reads the record in memory through the identity client's accessors.
class ZCMCheckinService : public VIZInstanceIDCheckinRecord {
 public:
  // Takes the cache's record, valid or not.
  explicit ZCMCheckinService(std::shared_ptr<ZCMCheckinCache> checkinCache);

  const std::shared_ptr<ZCMCheckinCache>& checkinCache() const { return checkinCache_; }
  void setCheckinCache(std::shared_ptr<ZCMCheckinCache> cache) { checkinCache_ = std::move(cache); }
  void setCheckinPreferences(std::optional<ZCMCheckinPreferences> preferences) {
    checkinPreferences_ = std::move(preferences);
  }

  // Asks the cache again and adopts its record when that is valid; otherwise false, and the
  // record in memory stays.
  bool tryToLoadPrefetchedCheckinPreferences();

  // Clears the record in memory, then asks the cache to remove the stored credentials.
  void reset();

 private:
  std::shared_ptr<ZCMCheckinCache> checkinCache_;
};
