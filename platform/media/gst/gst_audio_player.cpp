#include <algorithm>
#include <filesystem>

#include "platform/foundation/log.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/url.h"
#include "platform/media/audio_player.h"
#include "platform/media/gst/gst_devices.h"
#include "platform/media/media_asset.h"
#include "platform/media/media_error.h"

namespace platform::media {

namespace {

class GstAudioPlayer : public AudioPlayer, public std::enable_shared_from_this<GstAudioPlayer> {
 public:
  GstAudioPlayer(std::string uri, MediaFormat format) : uri_(std::move(uri)), format_(format) {}

  bool prepareToPlay() override {
    MutexLock lock(mutex_);
    return prepareLocked();
  }

  bool play() override {
    MutexLock lock(mutex_);
    if (!prepareLocked()) return false;
    applyRateLocked();
    if (!pipeline_->setState(GST_STATE_PLAYING).ok()) return false;
    loopsLeft_ = loops_;
    playing_ = true;
    return true;
  }

  void pause() override { halt(); }
  void stop() override { halt(); }

  bool isPlaying() const override {
    MutexLock lock(mutex_);
    return playing_;
  }

  double currentTime() const override {
    MutexLock lock(mutex_);
    if (!pipeline_) return pendingTime_;
    return std::min(pipeline_->position().value_or(0), format_.duration);
  }

  void setCurrentTime(double seconds) override {
    MutexLock lock(mutex_);
    seconds = std::clamp(seconds, 0.0, format_.duration);
    if (!pipeline_) {
      pendingTime_ = seconds;
      return;
    }
    pipeline_->seek(seconds, effectiveRateLocked());
  }

  double duration() const override { return format_.duration; }

  int numberOfLoops() const override {
    MutexLock lock(mutex_);
    return loops_;
  }
  void setNumberOfLoops(int loops) override {
    MutexLock lock(mutex_);
    loops_ = std::max(loops, -1);
  }

  float volume() const override {
    MutexLock lock(mutex_);
    return volume_;
  }
  void setVolume(float volume) override {
    MutexLock lock(mutex_);
    volume_ = std::clamp(volume, 0.0f, 1.0f);
    if (pipeline_)
      g_object_set(pipeline_->element(), "volume", static_cast<double>(volume_), nullptr);
  }

  bool enableRate() const override {
    MutexLock lock(mutex_);
    return enableRate_;
  }
  void setEnableRate(bool enabled) override {
    MutexLock lock(mutex_);
    enableRate_ = enabled;
  }
  float rate() const override {
    MutexLock lock(mutex_);
    return rate_;
  }
  void setRate(float rate) override {
    MutexLock lock(mutex_);
    rate_ = std::clamp(rate, 0.5f, 2.0f);
    if (pipeline_) applyRateLocked();
  }

  Dictionary settings() const override {
    Dictionary settings;
    settings.set("AVSampleRateKey", Value(static_cast<double>(format_.sampleRate)));
    settings.set("AVNumberOfChannelsKey", Value(static_cast<int64_t>(format_.channels)));
    settings.set("AVEncoderBitRateKey", Value(format_.audioBitrate));
    return settings;
  }

  void setFinishedHandler(Finished handler) override {
    MutexLock lock(mutex_);
    finished_ = std::move(handler);
  }

 private:
  bool prepareLocked() VKR_REQUIRES(mutex_) {
    if (pipeline_) return true;
    gst::ObjectPtr<GstElement> playbin = gst::makePlaybin(uri_);
    if (!playbin) return false;
    std::weak_ptr<GstAudioPlayer> weak = weak_from_this();
    gst::PipelineEvents events;
    events.endOfStream = [weak] {
      if (auto self = weak.lock()) self->reachedEnd();
    };
    events.error = [weak](const Error&) {
      if (auto self = weak.lock()) self->finish(false);
    };
    auto pipeline = std::make_unique<gst::Pipeline>(std::move(playbin), std::move(events));
    g_object_set(pipeline->element(), "volume", static_cast<double>(volume_), nullptr);
    if (!pipeline->setState(GST_STATE_PAUSED).ok()) return false;
    pipeline_ = std::move(pipeline);
    if (pendingTime_ > 0) pipeline_->seek(pendingTime_, effectiveRateLocked());
    pendingTime_ = 0;
    return true;
  }

  double effectiveRateLocked() const VKR_REQUIRES(mutex_) { return enableRate_ ? rate_ : 1.0; }

  void applyRateLocked() VKR_REQUIRES(mutex_) {
    const double position = pipeline_->position().value_or(0);
    pipeline_->seek(std::min(position, format_.duration), effectiveRateLocked());
  }

  void halt() {
    MutexLock lock(mutex_);
    playing_ = false;
    pauseLocked();
  }

  // Playing stops either way; a pipeline that can't pause is logged, not fatal.
  void pauseLocked() VKR_REQUIRES(mutex_) {
    if (!pipeline_) return;
    if (Status paused = pipeline_->setState(GST_STATE_PAUSED); !paused.ok()) {
      logf("Cannot pause the sound: %s", paused.error().localizedDescription().c_str());
    }
  }

  // Repeats while repeats are left; otherwise playing is over.
  void reachedEnd() {
    {
      MutexLock lock(mutex_);
      if (!playing_ || !pipeline_) return;
      if (loopsLeft_ != 0) {
        if (loopsLeft_ > 0) --loopsLeft_;
        pipeline_->seek(0, effectiveRateLocked());
        return;
      }
    }
    finish(true);
  }

  void finish(bool successfully) {
    Finished handler;
    {
      MutexLock lock(mutex_);
      playing_ = false;
      pauseLocked();
      handler = finished_;
    }
    if (handler) handler(successfully);
  }

  const std::string uri_;
  const MediaFormat format_;
  mutable Mutex mutex_;
  std::unique_ptr<gst::Pipeline> pipeline_ VKR_GUARDED_BY(mutex_);
  bool playing_ VKR_GUARDED_BY(mutex_) = false;
  double pendingTime_ VKR_GUARDED_BY(mutex_) = 0;
  int loops_ VKR_GUARDED_BY(mutex_) = 0;
  int loopsLeft_ VKR_GUARDED_BY(mutex_) = 0;
  float volume_ VKR_GUARDED_BY(mutex_) = 1;
  bool enableRate_ VKR_GUARDED_BY(mutex_) = false;
  float rate_ VKR_GUARDED_BY(mutex_) = 1;
  Finished finished_ VKR_GUARDED_BY(mutex_);
};

}  // namespace

Result<std::shared_ptr<AudioPlayer>> AudioPlayer::create(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    return gst::mediaError(kMediaCannotOpen, "No file at " + path);
  }
  Result<URL> url = URL::fileURL(path, false);
  if (!url.ok()) return url.error();
  Result<MediaFormat> format = discoverMediaFormat(url->absoluteString());
  if (!format.ok()) return format.error();
  if (!format->hasAudio) return gst::mediaError(kMediaCannotOpen, "No audio in " + path);
  return std::shared_ptr<AudioPlayer>(
      std::make_shared<GstAudioPlayer>(url->absoluteString(), *format));
}

}  // namespace platform::media
