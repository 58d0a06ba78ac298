#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/media/gst/gst_devices.h"
#include "platform/media/media_error.h"
#include "platform/media/stream_player.h"

namespace platform::media {

namespace {

class GstStreamPlayer : public StreamPlayer, public std::enable_shared_from_this<GstStreamPlayer> {
 public:
  explicit GstStreamPlayer(std::string url) : url_(std::move(url)) {}

  void open() {
    gst::ObjectPtr<GstElement> playbin = gst::makePlaybin(url_);
    if (!playbin) {
      MutexLock lock(mutex_);
      error_ = gst::mediaError(kMediaFailed, "The media framework cannot play streams");
      return;
    }
    std::weak_ptr<GstStreamPlayer> weak = weak_from_this();
    gst::PipelineEvents events;
    events.endOfStream = [weak] {
      if (auto self = weak.lock()) self->ended();
    };
    events.error = [weak](const Error& error) {
      if (auto self = weak.lock()) self->failed(error);
    };
    events.buffering = [weak](int percent) {
      if (auto self = weak.lock()) self->buffered(percent);
    };
    auto pipeline = std::make_unique<gst::Pipeline>(std::move(playbin), std::move(events));
    MutexLock lock(mutex_);
    pipeline_ = std::move(pipeline);
  }

  const std::string& url() const override { return url_; }

  void play() override { setRate(1); }

  void pause() override {
    MutexLock lock(mutex_);
    rate_ = 0;
    if (pipeline_) pipeline_->requestState(GST_STATE_PAUSED);
  }

  float rate() const override {
    MutexLock lock(mutex_);
    return rate_;
  }

  void setRate(float rate) override {
    if (rate <= 0) {
      pause();
      return;
    }
    MutexLock lock(mutex_);
    if (!pipeline_) return;
    const bool rateChanged = rate != 1 || (rate_ != 0 && rate_ != 1);
    rate_ = rate;
    if (rateChanged && pipeline_->state() >= GST_STATE_PAUSED) {
      pipeline_->seek(pipeline_->position().value_or(0), rate);
    }
    pipeline_->requestState(GST_STATE_PLAYING);
  }

  double currentTime() const override {
    MutexLock lock(mutex_);
    return pipeline_ ? pipeline_->position().value_or(0) : 0;
  }

  double duration() override {
    MutexLock lock(mutex_);
    if (!pipeline_) return 0;
    std::optional<double> duration = pipeline_->duration();
    if (!duration && pipeline_->state() < GST_STATE_PAUSED) {
      if (pipeline_->setState(GST_STATE_PAUSED).ok()) duration = pipeline_->duration();
    }
    return duration.value_or(0);
  }

  void seek(double seconds, std::function<void(bool finished)> completion) override {
    bool done = false;
    {
      MutexLock lock(mutex_);
      if (pipeline_) done = pipeline_->seek(seconds, rate_ > 0 ? rate_ : 1.0);
    }
    if (completion) mainQueue()->async([completion, done] { completion(done); });
  }

  std::optional<Error> error() const override {
    MutexLock lock(mutex_);
    return error_;
  }

  void setEndHandler(Handler handler) override {
    MutexLock lock(mutex_);
    end_ = std::move(handler);
  }
  void setStalledHandler(Handler handler) override {
    MutexLock lock(mutex_);
    stalled_ = std::move(handler);
  }

 private:
  void ended() {
    Handler handler;
    {
      MutexLock lock(mutex_);
      rate_ = 0;
      handler = end_;
    }
    if (handler) handler();
  }

  void failed(const Error& error) {
    MutexLock lock(mutex_);
    rate_ = 0;
    error_ = error;
  }

  // Reports a stall once each time the buffer runs low while playing.
  void buffered(int percent) {
    Handler handler;
    {
      MutexLock lock(mutex_);
      const bool low = percent < 100;
      if (low && !stalling_ && rate_ > 0) handler = stalled_;
      stalling_ = low;
    }
    if (handler) handler();
  }

  const std::string url_;
  mutable Mutex mutex_;
  std::unique_ptr<gst::Pipeline> pipeline_ VKR_GUARDED_BY(mutex_);
  float rate_ VKR_GUARDED_BY(mutex_) = 0;
  bool stalling_ VKR_GUARDED_BY(mutex_) = false;
  std::optional<Error> error_ VKR_GUARDED_BY(mutex_);
  Handler end_ VKR_GUARDED_BY(mutex_);
  Handler stalled_ VKR_GUARDED_BY(mutex_);
};

}  // namespace

std::shared_ptr<StreamPlayer> StreamPlayer::create(const std::string& url) {
  auto player = std::make_shared<GstStreamPlayer>(url);
  player->open();
  return player;
}

}  // namespace platform::media
