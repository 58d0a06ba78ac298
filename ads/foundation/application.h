#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ads/foundation/content_queue.h"
#include "ads/foundation/network.h"
#include "ads/foundation/scheduler.h"
#include "ads/foundation/sdk_core_services.h"
#include "ads/foundation/statistic_dictionary.h"
#include "platform/dispatch/notification_center.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/ui/window.h"

class ZADViewHierarchyTraverser;

// The ads engine's application object. It starts the engine once (the early activities: at the
// first of the host's launch, the first slot, the first request), knows the app's version and
// bundle, owns the session and the application-wide statistics with the request bookkeeping,
// collects per-ad statistics not yet sent, remembers which ad sent the user out of the app,
// hands out Active View ids, keeps the mediation adapters the app holds and lends an off-screen
// window. While content capture is on it fingerprints the text on screen every few seconds.
//
// Threads: start-up, the became-active return, content capture passes and the placeholder
// window on the main thread; the rest from any thread (request bookkeeping and the adapter list
// under locks, per-ad statistics on the notification queue, contents on the hashing queue).
class ZADApplication : public ZADStatisticDictionaryDelegate,
                       public std::enable_shared_from_this<ZADApplication> {
 public:
  static constexpr const char* kSessionIDKey = "session_id";
  static constexpr const char* kPreviousRequestsKey = "preqs";
  static constexpr const char* kClicksKey = "pclick";
  static constexpr const char* kSequenceNumberKey = "seq_num";
  static constexpr const char* kBaseTimestampKey = "basets";
  static constexpr const char* kCurrentTimestampKey = "currts";
  // Linux has no advertising identifier: requests carry the all-zero one a phone reports when
  // the user limits tracking.
  static constexpr const char* kNoAdvertisingIdentifier = "00000000-0000-0000-0000-000000000000";

  static std::shared_ptr<ZADApplication> sharedInstance();
  // A new application object (the engine uses the shared one).
  static std::shared_ptr<ZADApplication> make();
  ~ZADApplication() override;

  // The engine's one-time start-up work, in order: the device's static facts, MRAID script
  // interception, the pinger, the in-app purchase reporter (when it should be on), crash
  // reporting, content capture (when "/zorova/ads/content_url_enabled" is set) and the
  // interstitial cache on a background queue (when "/zorova/ads/zads:interstitial_ad_pool:enabled"
  // is true). Later calls do nothing. Main thread.
  void runEarlyActivities();
  // The host app finished launching: the engine starts. Main thread.
  void didFinishLaunching();
  bool appFinishedLaunching() const;

  // App facts.
  const std::string& version() const { return version_; }
  const std::string& mainBundleIdentifier() const { return mainBundleIdentifier_; }
  // False only in the background after launch. Main thread.
  bool isAppActive() const;
  // An off-screen window shared by the engine's hidden views, made on first use. Main thread.
  std::shared_ptr<platform::ui::Window> placeholderWindow();
  // "appversion", "bundleid", "osversion", "rdid", "lat", "sdkversion".
  platform::Dictionary parameters() const;

  // Counters of the application statistics.
  void incrementTotalAdRequestCount();
  void decrementTotalAdRequestCount();
  void incrementTotalAdClickCount();
  void incrementSequenceNumber();
  // Stamps a request ("currts", "basets" the first time), numbers it and counts it (a mediating
  // slot's request takes one back instead), and answers the statistics to send with it.
  platform::Dictionary nextRequestStatisticsDictionaryForSlot(const ZADSlot& slot);
  std::string nextSequenceNumberAsString();
  // Milliseconds since the first request; 0 before one.
  uint64_t timeSinceFirstAdRequestInMilliseconds() const;
  const std::shared_ptr<ZADSession>& currentSession() const { return currentSession_; }
  const std::shared_ptr<ZADStatisticDictionary>& statistics() const { return statistics_; }

  // Per-ad statistics (the application is their dictionaries' delegate).
  platform::QueuePtr notificationQueue() override { return notificationQueue_; }
  void didUpdateStatisticDictionary(
      const std::shared_ptr<ZADStatisticDictionary>& dictionary) override;
  // Takes the statistics waiting to be sent.
  std::vector<std::shared_ptr<ZADStatisticDictionary>> pendingAdStatistics();
  // Puts back statistics a failed request did not send.
  void didNotSendAdStatistics(
      const std::vector<std::shared_ptr<ZADStatisticDictionary>>& statistics);

  // Leaving through an ad and coming back: the return adds [click time, return time] to the
  // ad's "tclick" when its click time ("tclickcurr") is known.
  void willLeaveApplicationDueToClickOnAd(std::shared_ptr<ZADAd> ad);
  void didBecomeActive();

  // 1, 2, 3, ...
  uint64_t nextActiveViewID();
  std::optional<std::vector<std::string>> availableAdapterNames() const;
  void setAvailableAdapterNames(std::vector<std::string> names);
  // The built-in adapters and the given names, as far as the app holds them.
  void updateAvailableAdapterNamesWithPotentialAdapterNames(const std::vector<std::string>& names);

  // Content capture. Main thread for start and stop; the fingerprint from any thread.
  void startContentHashing();
  void stopContentHashing();
  bool isContentHashing() const;
  // The fingerprint of the best-scoring captured content, which loses 100 points for it;
  // nothing when capture never ran or nothing is queued.
  std::optional<std::string> fingerprintWithServedPenaltyDeduction();

 private:
  ZADApplication();
  void observeBecomingActive();
  // One capture pass over the key window's root view. Main thread.
  void captureContent(const std::shared_ptr<ZADViewHierarchyTraverser>& traverser,
                      const platform::QueuePtr& hashingQueue,
                      const std::weak_ptr<ZADContentQueue>& contentQueue);

  const std::string version_;
  const std::string mainBundleIdentifier_;
  const std::shared_ptr<ZADSession> currentSession_;
  const std::shared_ptr<ZADStatisticDictionary> statistics_;
  const platform::QueuePtr notificationQueue_;
  platform::NotificationCenter::Observation appBecameActiveObserver_;
  std::shared_ptr<platform::ui::Window> placeholderWindow_;  // main thread

  mutable platform::Mutex launchMutex_;
  bool appFinishedLaunching_ VKR_GUARDED_BY(launchMutex_) = false;
  bool ranEarlyActivities_ VKR_GUARDED_BY(launchMutex_) = false;

  // Orders the bookkeeping of one request and guards the backgrounding ad.
  mutable platform::Mutex statisticsMutex_;
  std::shared_ptr<ZADAd> backgroundingAd_ VKR_GUARDED_BY(statisticsMutex_);

  mutable platform::Mutex lockMutex_;
  std::optional<std::vector<std::string>> availableAdapterNames_ VKR_GUARDED_BY(lockMutex_);
  uint64_t activeViewID_ VKR_GUARDED_BY(lockMutex_) = 0;

  // On notificationQueue_ only.
  std::vector<std::shared_ptr<ZADStatisticDictionary>> adStatistics_;

  mutable platform::Mutex captureMutex_;
  std::shared_ptr<ZADScheduler> scheduler_ VKR_GUARDED_BY(captureMutex_);
  // The queue of the last capture: it stays after a stop, as the contents it holds stay
  // servable and are only touched there.
  platform::QueuePtr hashingQueue_ VKR_GUARDED_BY(captureMutex_);
  std::shared_ptr<ZADContentQueue> contentQueue_ VKR_GUARDED_BY(captureMutex_);
};
