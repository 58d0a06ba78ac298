#pragma once

#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "ads/foundation/cached_file.h"
#include "platform/foundation/value.h"
#include "platform/ui/application.h"

class ZADClickTracker;

// Told how a tracker's URL went. Both calls are optional.
class ZADClickTrackerDelegate {
 public:
  virtual ~ZADClickTrackerDelegate() = default;
  // The chain of redirects ended; the URL is the last one reached (a non-web URL when the chain
  // led to an app or store link).
  virtual void trackerDidRedirect(ZADClickTracker& tracker, const platform::URL& url) {
    (void)tracker;
    (void)url;
  }
  // The URL could not be followed to its end; no error when the server answered a status that
  // is neither 200 nor 304.
  virtual void trackerDidFailWithError(ZADClickTracker& tracker,
                                       const std::optional<platform::Error>& error) {
    (void)tracker;
    (void)error;
  }
};

// Follows one tracking URL through its redirects to the end, inside a background task of the
// app so that leaving the app does not cut it short. A redirect to anything but a web URL ends
// the tracking there, as a success. Main thread only.
class ZADClickTracker : public ZADCachedFileDelegate,
                        public std::enable_shared_from_this<ZADClickTracker> {
 public:
  static std::shared_ptr<ZADClickTracker> make();
  ~ZADClickTracker() override;
  ZADClickTracker(const ZADClickTracker&) = delete;
  ZADClickTracker& operator=(const ZADClickTracker&) = delete;

  // Resets, then follows the URL (nothing more without one).
  void trackURL(const std::optional<platform::URL>& url);
  // Drops the fetch, its file and the background task; the tracker is idle again.
  void reset();

  std::weak_ptr<ZADClickTrackerDelegate> delegate() const { return delegate_; }
  void setDelegate(std::weak_ptr<ZADClickTrackerDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  // The tracking ended: success, a stop at a non-web URL, or a failure.
  bool hasTracked() const { return hasTracked_; }
  // The URL last given to trackURL().
  const std::optional<platform::URL>& trackingURL() const { return trackingURL_; }
  bool isCacheEnabled() const { return cacheEnabled_; }
  void setCacheEnabled(bool enabled) { cacheEnabled_ = enabled; }
  bool holdsBackgroundTask() const {
    return backgroundTaskID_ != platform::ui::kInvalidBackgroundTask;
  }

  // ZADCachedFileDelegate
  std::optional<platform::Error> cachedFileShouldRedirectToURL(ZADCachedFile& file,
                                                               const platform::URL& url) override;
  void cachedFileDownloadDidEnd(ZADCachedFile& file) override;
  void cachedFileDownloadDidFail(ZADCachedFile& file,
                                 const std::optional<platform::Error>& error) override;

 private:
  ZADClickTracker() = default;
  void beginBackgroundTask();
  void endBackgroundTask();
  void detachFile();
  // The system took the background time back before the URL was followed: the fetch is dropped
  // and the tracking ends as a failure, so its owner lets it go.
  void backgroundTaskExpired();

  platform::ui::BackgroundTaskIdentifier backgroundTaskID_ = platform::ui::kInvalidBackgroundTask;
  std::shared_ptr<ZADCachedFile> tracker_;
  bool hasTracked_ = false;
  bool cacheEnabled_ = true;
  std::weak_ptr<ZADClickTrackerDelegate> delegate_;
  std::optional<platform::URL> trackingURL_;
};

// Keeps every running tracker alive until it has ended. Main thread only.
class ZADClickTrackerCollection : public ZADClickTrackerDelegate,
                                  public std::enable_shared_from_this<ZADClickTrackerCollection> {
 public:
  static std::shared_ptr<ZADClickTrackerCollection> sharedInstance();
  static std::shared_ptr<ZADClickTrackerCollection> make();
  ~ZADClickTrackerCollection() override;
  ZADClickTrackerCollection(const ZADClickTrackerCollection&) = delete;
  ZADClickTrackerCollection& operator=(const ZADClickTrackerCollection&) = delete;

  // Each element that is a URL text (or a URL's text) is tracked, in order; anything else is
  // skipped.
  void trackURLs(const std::vector<platform::Value>& urls, bool cacheEnabled);
  void trackURL(const platform::URL& url, bool cacheEnabled = true);
  // Lets go of the trackers that have ended.
  void cleanupTrackers();
  const std::set<std::shared_ptr<ZADClickTracker>>& trackers() const { return trackers_; }

  void trackerDidRedirect(ZADClickTracker& tracker, const platform::URL& url) override;
  void trackerDidFailWithError(ZADClickTracker& tracker,
                               const std::optional<platform::Error>& error) override;

 private:
  ZADClickTrackerCollection() = default;
  void scheduleCleanup();

  std::set<std::shared_ptr<ZADClickTracker>> trackers_;
};
