#include "ads/foundation/click_tracker.h"

#include "ads/foundation/internal_errors.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/foundation/url_error.h"

namespace {

// The error the tracker hands back to stop a chain at a non-web URL.
constexpr const char* kZADErrorDomain = "com.zorova.ads";

bool isWebURL(const platform::URL& url) {
  std::string scheme = url.scheme();
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme.starts_with("http");
}

}  // namespace

std::shared_ptr<ZADClickTracker> ZADClickTracker::make() {
  return std::shared_ptr<ZADClickTracker>(new ZADClickTracker());
}

ZADClickTracker::~ZADClickTracker() {
  detachFile();
  endBackgroundTask();
}

void ZADClickTracker::trackURL(const std::optional<platform::URL>& url) {
  VKR_ASSERT_MAIN_THREAD();
  reset();
  trackingURL_ = url;
  if (!url) return;
  beginBackgroundTask();
  tracker_ = ZADCachedFile::make(*url);
  tracker_->setDelegate(weak_from_this());
  if (!cacheEnabled_) tracker_->setCachePolicy(ZADCachedFile::kReloadIgnoringLocalCacheData);
  tracker_->validate();
}

void ZADClickTracker::reset() {
  VKR_ASSERT_MAIN_THREAD();
  hasTracked_ = false;
  detachFile();
  endBackgroundTask();
}

void ZADClickTracker::detachFile() {
  if (!tracker_) return;
  tracker_->setDelegate({});
  tracker_->invalidate();
  tracker_.reset();
}

void ZADClickTracker::beginBackgroundTask() {
  backgroundTaskID_ =
      platform::ui::Application::shared().beginBackgroundTask([weak = weak_from_this()] {
        platform::runOnMainThread([weak] {
          if (auto self = weak.lock()) self->backgroundTaskExpired();
        });
      });
}

void ZADClickTracker::endBackgroundTask() {
  if (backgroundTaskID_ == platform::ui::kInvalidBackgroundTask) return;
  platform::ui::Application::shared().endBackgroundTask(
      std::exchange(backgroundTaskID_, platform::ui::kInvalidBackgroundTask));
}

void ZADClickTracker::backgroundTaskExpired() {
  if (hasTracked_ || !tracker_) return;
  const std::string url = trackingURL_ ? trackingURL_->absoluteString() : std::string();
  reset();
  hasTracked_ = true;
  if (auto delegate = delegate_.lock()) {
    delegate->trackerDidFailWithError(*this,
                                      platform::makeURLError(platform::kURLErrorCancelled, url));
  }
}

std::optional<platform::Error> ZADClickTracker::cachedFileShouldRedirectToURL(
    ZADCachedFile& file, const platform::URL& url) {
  if (isWebURL(url)) return std::nullopt;
  // An app or store link: the tracking servers are all behind, so the tracking is complete.
  cachedFileDownloadDidEnd(file);
  return zad_errorWithDomain(kZADErrorDomain, 0, std::nullopt);
}

void ZADClickTracker::cachedFileDownloadDidEnd(ZADCachedFile& file) {
  if (hasTracked_) return;
  auto self = shared_from_this();
  hasTracked_ = true;
  if (auto delegate = delegate_.lock())
    delegate->trackerDidRedirect(*this, file.HTTPDestinationURL());
  endBackgroundTask();
}

void ZADClickTracker::cachedFileDownloadDidFail(ZADCachedFile&,
                                                const std::optional<platform::Error>& error) {
  if (hasTracked_) return;
  auto self = shared_from_this();
  hasTracked_ = true;
  if (auto delegate = delegate_.lock()) delegate->trackerDidFailWithError(*this, error);
  endBackgroundTask();
}

std::shared_ptr<ZADClickTrackerCollection> ZADClickTrackerCollection::sharedInstance() {
  static const std::shared_ptr<ZADClickTrackerCollection> collection = make();
  return collection;
}

std::shared_ptr<ZADClickTrackerCollection> ZADClickTrackerCollection::make() {
  return std::shared_ptr<ZADClickTrackerCollection>(new ZADClickTrackerCollection());
}

ZADClickTrackerCollection::~ZADClickTrackerCollection() {
  for (const auto& tracker : trackers_) {
    tracker->setDelegate({});
    tracker->reset();
  }
}

void ZADClickTrackerCollection::trackURLs(const std::vector<platform::Value>& urls,
                                          bool cacheEnabled) {
  for (const platform::Value& element : urls) {
    const std::string* text = element.stringIf();
    if (!text) continue;
    platform::Result<platform::URL> url = platform::URL::parse(*text);
    if (url.ok() && url->isAbsolute()) trackURL(*url, cacheEnabled);
  }
}

void ZADClickTrackerCollection::trackURL(const platform::URL& url, bool cacheEnabled) {
  VKR_ASSERT_MAIN_THREAD();
  auto tracker = ZADClickTracker::make();
  tracker->setDelegate(weak_from_this());
  tracker->setCacheEnabled(cacheEnabled);
  tracker->trackURL(url);
  trackers_.insert(std::move(tracker));
}

void ZADClickTrackerCollection::cleanupTrackers() {
  VKR_ASSERT_MAIN_THREAD();
  std::erase_if(trackers_, [](const std::shared_ptr<ZADClickTracker>& tracker) {
    if (!tracker->hasTracked()) return false;
    tracker->setDelegate({});
    return true;
  });
}

void ZADClickTrackerCollection::trackerDidRedirect(ZADClickTracker&, const platform::URL&) {
  scheduleCleanup();
}

void ZADClickTrackerCollection::trackerDidFailWithError(ZADClickTracker&,
                                                        const std::optional<platform::Error>&) {
  scheduleCleanup();
}

void ZADClickTrackerCollection::scheduleCleanup() {
  platform::mainQueue()->async([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->cleanupTrackers();
  });
}
