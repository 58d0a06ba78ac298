#include "ads/foundation/application.h"

#include "ads/foundation/app_facts.h"
#include "ads/foundation/crash_reporter.h"
#include "ads/foundation/device.h"
#include "ads/foundation/mediation_services.h"
#include "ads/foundation/monotonic_clock.h"
#include "ads/foundation/pinger.h"
#include "ads/foundation/rendering_services.h"
#include "ads/foundation/view_hierarchy_traverser.h"
#include "platform/foundation/class_registry.h"
#include "platform/storage/user_defaults.h"
#include "platform/ui/application.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"
#include "platform/web/web_view.h"

namespace {

constexpr uint64_t kDefaultContentQueueCapacity = 10;
constexpr double kDefaultTraversalInterval = 10.0;

// The engine starts once the host app has finished launching. The observation lasts as long as
// the process.
PLATFORM_LOAD_HOOK("ZADApplication", [] {
  static auto* observation = new platform::NotificationCenter::Observation(
      platform::NotificationCenter::defaultCenter().addObserver(
          platform::ui::kApplicationDidFinishLaunchingNotification, nullptr,
          [](const platform::Notification&) {
            const std::shared_ptr<ZADApplication> application = ZADApplication::sharedInstance();
            application->didFinishLaunching();
          },
          platform::mainQueue()));
  (void)observation;
});

uint64_t contentQueueCapacity() {
  auto defaults = platform::UserDefaults::standard();
  constexpr const char* kKey = "/zorova/ads/content_queue_maximum_capacity";
  if (defaults->objectForKey(kKey).isNull()) return kDefaultContentQueueCapacity;
  // A negative count would read as a queue without limit.
  const int64_t capacity = defaults->integerForKey(kKey);
  return capacity < 0 ? kDefaultContentQueueCapacity : static_cast<uint64_t>(capacity);
}

}  // namespace

std::shared_ptr<ZADApplication> ZADApplication::sharedInstance() {
  static const std::shared_ptr<ZADApplication> instance = make();
  return instance;
}

std::shared_ptr<ZADApplication> ZADApplication::make() {
  std::shared_ptr<ZADApplication> application(new ZADApplication());
  application->observeBecomingActive();
  return application;
}

ZADApplication::ZADApplication()
    : version_(ZADApplicationVersion()),
      mainBundleIdentifier_(ZADMainBundleIdentifier()),
      currentSession_(std::make_shared<ZADSession>()),
      statistics_(ZADStatisticDictionary::make()),
      notificationQueue_(platform::makeSerialQueue("com.zorova.zizov.application-notification")) {
  statistics_->setObject(currentSession_->uniqueID(), kSessionIDKey);
  // So that the first request reports 0 earlier requests.
  statistics_->decrementNumberForKey(kPreviousRequestsKey, false);
}

ZADApplication::~ZADApplication() {
  stopContentHashing();
  statistics_->didFinishModifying();
}

void ZADApplication::observeBecomingActive() {
  appBecameActiveObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::ui::kApplicationDidBecomeActiveNotification, nullptr,
      [weak = weak_from_this()](const platform::Notification&) {
        if (auto self = weak.lock()) self->didBecomeActive();
      },
      platform::mainQueue());
}

void ZADApplication::didFinishLaunching() {
  {
    platform::MutexLock lock(launchMutex_);
    appFinishedLaunching_ = true;
  }
  runEarlyActivities();
}

void ZADApplication::runEarlyActivities() {
  {
    // Set first, so that a step that reaches a first slot or request does not start it again.
    platform::MutexLock lock(launchMutex_);
    if (ranEarlyActivities_) return;
    ranEarlyActivities_ = true;
  }
  ZADDevice::sharedInstance().cacheStaticParameters();
  ZADMRAIDInterceptor::allow();
  ZADPinger::sharedInstance()->start();
  if (auto reporter = ZADInAppPurchaseTransactionReporter::sharedInstance()) {
    if (reporter->shouldBeEnabled()) reporter->enableReporting();
  }
  ZADCrashReporter::sharedInstance().setReportingEnabled(true);
  auto defaults = platform::UserDefaults::standard();
  if (defaults->boolForKey("/zorova/ads/content_url_enabled")) startContentHashing();
  if (defaults->boolForKey("/zorova/ads/zads:interstitial_ad_pool:enabled")) {
    platform::globalQueue()->async([] { (void)ZADInterstitialCache::sharedInstance(); });
  }
}

bool ZADApplication::appFinishedLaunching() const {
  platform::MutexLock lock(launchMutex_);
  return appFinishedLaunching_;
}

bool ZADApplication::isAppActive() const {
  return !(platform::ui::Application::shared().applicationState() ==
               platform::ui::ApplicationState::Background &&
           appFinishedLaunching());
}

std::shared_ptr<platform::ui::Window> ZADApplication::placeholderWindow() {
  if (!placeholderWindow_) placeholderWindow_ = std::make_shared<platform::ui::Window>();
  return placeholderWindow_;
}

platform::Dictionary ZADApplication::parameters() const {
  const ZADDevice& device = ZADDevice::sharedInstance();
  return platform::Dictionary{
      {"appversion", version_},
      {"bundleid", mainBundleIdentifier_},
      {"osversion", device.systemVersion()},
      {"rdid", kNoAdvertisingIdentifier},
      {"lat", device.limitAdTrackingString()},
      {"sdkversion", ZADRequest::sdkVersion()},
  };
}

void ZADApplication::incrementTotalAdRequestCount() {
  statistics_->incrementNumberForKey(kPreviousRequestsKey, false);
}

void ZADApplication::decrementTotalAdRequestCount() {
  statistics_->decrementNumberForKey(kPreviousRequestsKey, false);
}

void ZADApplication::incrementTotalAdClickCount() {
  statistics_->incrementNumberForKey(kClicksKey, false);
}

void ZADApplication::incrementSequenceNumber() {
  statistics_->incrementNumberForKey(kSequenceNumberKey, false);
}

platform::Dictionary ZADApplication::nextRequestStatisticsDictionaryForSlot(const ZADSlot& slot) {
  platform::MutexLock lock(statisticsMutex_);
  const platform::Value now = ZADAbsoluteTime::absoluteTimeInMilliseconds();
  statistics_->setObject(now, kCurrentTimestampKey);
  if (statistics_->objectForKey(kBaseTimestampKey).isNull()) {
    statistics_->setObject(now, kBaseTimestampKey);
  }
  incrementSequenceNumber();
  if (slot.isMediating()) {
    decrementTotalAdRequestCount();
  } else {
    incrementTotalAdRequestCount();
  }
  return statistics_->dictionary();
}

std::string ZADApplication::nextSequenceNumberAsString() {
  platform::MutexLock lock(statisticsMutex_);
  incrementSequenceNumber();
  return std::to_string(statistics_->objectForKey(kSequenceNumberKey).intOr(0));
}

uint64_t ZADApplication::timeSinceFirstAdRequestInMilliseconds() const {
  const platform::Value base = statistics_->objectForKey(kBaseTimestampKey);
  if (base.isNull()) return 0;
  return ZADMonotonicMilliseconds() - static_cast<uint64_t>(base.intOr(0));
}

void ZADApplication::didUpdateStatisticDictionary(
    const std::shared_ptr<ZADStatisticDictionary>& dictionary) {
  if (std::find(adStatistics_.begin(), adStatistics_.end(), dictionary) == adStatistics_.end()) {
    adStatistics_.push_back(dictionary);
  }
}

std::vector<std::shared_ptr<ZADStatisticDictionary>> ZADApplication::pendingAdStatistics() {
  std::vector<std::shared_ptr<ZADStatisticDictionary>> pending;
  notificationQueue_->sync([&] { pending.swap(adStatistics_); });
  return pending;
}

void ZADApplication::didNotSendAdStatistics(
    const std::vector<std::shared_ptr<ZADStatisticDictionary>>& statistics) {
  notificationQueue_->sync([&] {
    for (const auto& dictionary : statistics) didUpdateStatisticDictionary(dictionary);
  });
}

void ZADApplication::willLeaveApplicationDueToClickOnAd(std::shared_ptr<ZADAd> ad) {
  platform::MutexLock lock(statisticsMutex_);
  backgroundingAd_ = std::move(ad);
}

void ZADApplication::didBecomeActive() {
  std::shared_ptr<ZADAd> ad;
  {
    platform::MutexLock lock(statisticsMutex_);
    ad = std::move(backgroundingAd_);
    backgroundingAd_.reset();
  }
  if (!ad || !ad->statistics()) return;
  const std::shared_ptr<ZADStatisticDictionary> adStatistics = ad->statistics();
  const platform::Value clickTime = adStatistics->objectForKey("tclickcurr");
  if (clickTime.isNull()) return;
  adStatistics->addObjectToArray(
      platform::Value::array({clickTime, ZADAbsoluteTime::absoluteTimeInMilliseconds()}), "tclick",
      true);
}

uint64_t ZADApplication::nextActiveViewID() {
  platform::MutexLock lock(lockMutex_);
  return ++activeViewID_;
}

std::optional<std::vector<std::string>> ZADApplication::availableAdapterNames() const {
  platform::MutexLock lock(lockMutex_);
  return availableAdapterNames_;
}

void ZADApplication::setAvailableAdapterNames(std::vector<std::string> names) {
  platform::MutexLock lock(lockMutex_);
  availableAdapterNames_ = std::move(names);
}

void ZADApplication::updateAvailableAdapterNamesWithPotentialAdapterNames(
    const std::vector<std::string>& names) {
  std::set<std::string> candidates = {"ZADMAdapterZorovaZiZovAds", "ZADMAdapterCustomEvents",
                                      "ZADMAdapterHTML", "ZADMAdURLAdapter"};
  candidates.insert(names.begin(), names.end());
  const std::set<std::string> available =
      ZADMAdNetworkAdapter::availableAdapterNamesInSet(candidates);
  setAvailableAdapterNames(std::vector<std::string>(available.begin(), available.end()));
}

// Content capture.

void ZADApplication::startContentHashing() {
  platform::MutexLock lock(captureMutex_);
  if (scheduler_) return;
  hashingQueue_ = platform::makeSerialQueue("com.zorova.zizov.content-hashing");
  contentQueue_ = std::make_shared<ZADContentQueue>(contentQueueCapacity());
  scheduler_ = ZADScheduler::make(
      ZADPositiveServerConstant("traversal_interval", kDefaultTraversalInterval));
  scheduler_->taskIDScheduledOnQueue(
      platform::mainQueue(),
      [weak = weak_from_this(), traverser = ZADViewHierarchyTraverser::make(),
       hashingQueue = hashingQueue_, contentQueue = std::weak_ptr<ZADContentQueue>(contentQueue_)] {
        if (auto self = weak.lock()) self->captureContent(traverser, hashingQueue, contentQueue);
      });
  scheduler_->start();
}

void ZADApplication::stopContentHashing() {
  std::shared_ptr<ZADScheduler> scheduler;
  {
    platform::MutexLock lock(captureMutex_);
    scheduler = std::move(scheduler_);
    scheduler_.reset();
  }
  if (scheduler) scheduler->stop();
}

bool ZADApplication::isContentHashing() const {
  platform::MutexLock lock(captureMutex_);
  return scheduler_ != nullptr;
}

std::optional<std::string> ZADApplication::fingerprintWithServedPenaltyDeduction() {
  platform::QueuePtr hashingQueue;
  std::shared_ptr<ZADContentQueue> contentQueue;
  {
    platform::MutexLock lock(captureMutex_);
    hashingQueue = hashingQueue_;
    contentQueue = contentQueue_;
  }
  if (!hashingQueue || !contentQueue) return std::nullopt;
  // The contents change on the hashing queue, so they are read and penalised there too.
  std::optional<std::string> fingerprint;
  hashingQueue->sync([&] {
    if (std::shared_ptr<ZADContent> best = contentQueue->contentWithHighestScore()) {
      best->deductServedPenalty();
      fingerprint = best->fingerprint();
    }
  });
  return fingerprint;
}

namespace {

// What one pass collects: its content, made at the first visit, and how many page texts are
// still on their way (web views answer their script later).
struct CapturePass {
  std::shared_ptr<ZADContent> content;
  int pendingTexts = 0;
  bool walked = false;
};

}  // namespace

void ZADApplication::captureContent(const std::shared_ptr<ZADViewHierarchyTraverser>& traverser,
                                    const platform::QueuePtr& hashingQueue,
                                    const std::weak_ptr<ZADContentQueue>& contentQueue) {
  std::shared_ptr<platform::ui::Window> window = platform::ui::Application::shared().keyWindow();
  std::shared_ptr<platform::ui::ViewController> controller =
      window ? window->rootViewController() : nullptr;
  auto pass = std::make_shared<CapturePass>();
  // Queued once the walk is over and every page text has been added.
  auto finishIfComplete = [pass, hashingQueue, contentQueue] {
    if (!pass->walked || pass->pendingTexts > 0 || !pass->content) return;
    hashingQueue->async([content = pass->content, contentQueue] {
      auto queue = contentQueue.lock();
      if (!queue || content->fingerprint().empty()) return;
      queue->deduplicate(content);
      queue->enqueueContent(content);
    });
  };
  auto addText = [pass, hashingQueue](std::string text) {
    if (text.empty()) return;
    hashingQueue->async([content = pass->content, text = std::move(text)] {
      content->updateContentWithText(text);
    });
  };
  traverser->traverseView(
      controller ? controller->view() : nullptr,
      [pass, addText, finishIfComplete](const std::shared_ptr<platform::ui::View>& view,
                                        int64_t sequenceNumber) {
        if (!pass->content) pass->content = std::make_shared<ZADContent>(sequenceNumber);
        if (auto* webView = dynamic_cast<platform::web::WebView*>(view.get())) {
          ++pass->pendingTexts;
          webView->evaluateJavaScript(
              "document.body.innerText",
              [pass, addText, finishIfComplete](platform::Result<std::string> text) {
                if (text.ok()) addText(std::move(*text));
                --pass->pendingTexts;
                finishIfComplete();
              });
        } else if (auto* textView = dynamic_cast<platform::ui::TextView*>(view.get())) {
          addText(textView->text());
        }
      },
      [pass, finishIfComplete](bool finished) {
        if (!finished) return;
        pass->walked = true;
        finishIfComplete();
      });
}
