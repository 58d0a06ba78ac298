#pragma once
// The device check-in: one JSON POST to "/checkin" of the identity service, whose reply gives
// the device's credentials and the record kept in memory and handed to the check-in cache. Main
// queue only (the fetch completes there); one check-in at a time (the registrar sees to that).
#include <functional>
#include <memory>
#include <optional>

#include "instance_id/checkin_preferences.h"
#include "instance_id/checkin_record.h"
#include "instance_id/checkin_wire.h"
#include "platform/foundation/error.h"
#include "toolbox/fetcher/session_fetcher.h"

// What the check-in needs of its storage.
class VIZInstanceIDCheckinCache {
 public:
  virtual ~VIZInstanceIDCheckinCache() = default;
  virtual bool saveCheckinPreferences(const VIZInstanceIDCheckinPreferences& preferences,
                                      std::optional<platform::Error>* error) = 0;
  virtual std::optional<VIZInstanceIDCheckinPreferences> cachedCheckinPreferences() = 0;
  virtual bool removeCheckinPreferences(std::optional<platform::Error>* error) = 0;
};

class VIZInstanceIDCheckinService
    : public VIZInstanceIDCheckinRecord,
      public std::enable_shared_from_this<VIZInstanceIDCheckinService> {
 public:
  using Completion = std::function<void(const std::optional<platform::Error>&)>;

  // Takes the cache's record, valid or not. The cache is held weakly.
  explicit VIZInstanceIDCheckinService(std::weak_ptr<VIZInstanceIDCheckinCache> checkinCache);
  ~VIZInstanceIDCheckinService();

  // Adopts the cache's record when it is valid.
  void tryToLoadPrefetchedCheckinPreferences();
  // Runs one check-in; the completion is called once, on the main queue, unless stopFetching()
  // comes first.
  void checkinWithCompletion(Completion completion);
  VIZInstanceIDCheckinRequest checkinParameters() const;
  void stopFetching();
  void reset();

 private:
  void handleReply(const std::optional<platform::Bytes>& data,
                   const std::optional<platform::Error>& error, const Completion& completion);

  std::weak_ptr<VIZInstanceIDCheckinCache> checkinCache_;
  ZSDK_ZTMSessionFetcher::Ptr fetcher_;
};
