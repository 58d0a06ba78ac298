#include <algorithm>
#include <condition_variable>
#include <optional>

#include "platform/foundation/thread_annotations.h"
#include "platform/media/camera_capture.h"
#include "platform/media/gst/gst_devices.h"
#include "platform/media/media_devices.h"
#include "platform/media/media_error.h"

namespace platform::media {

namespace {

// camera ! videoconvert ! <encoder chain> ! filesink, run until it ends or fails.
class CapturePipeline {
 public:
  // Links the elements after the converter, in order; false when one is missing.
  bool build(const std::string& path, std::initializer_list<gst::ObjectPtr<GstElement>*> chain) {
    gst::ObjectPtr<GstElement> bin(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
    source_ = gst::makeVideoSource();
    gst::ObjectPtr<GstElement> convert = gst::makeElement("videoconvert");
    gst::ObjectPtr<GstElement> sink = gst::makeElement("filesink");
    if (!bin || !source_ || !convert || !sink) return false;
    g_object_set(sink.get(), "location", path.c_str(), nullptr);
    std::vector<GstElement*> elements = {source_.get(), convert.get()};
    for (gst::ObjectPtr<GstElement>* element : chain) {
      if (!*element) return false;
      elements.push_back(element->get());
    }
    elements.push_back(sink.get());
    for (GstElement* element : elements) gst_bin_add(GST_BIN(bin.get()), element);
    for (size_t i = 0; i + 1 < elements.size(); ++i) {
      if (!gst_element_link(elements[i], elements[i + 1])) return false;
    }
    gst::PipelineEvents events;
    events.endOfStream = [this] { finish(okStatus()); };
    events.error = [this](const Error& error) { finish(error); };
    pipeline_ = std::make_unique<gst::Pipeline>(std::move(bin), std::move(events));
    return true;
  }

  GstElement* source() const { return source_.get(); }
  gst::Pipeline& pipeline() { return *pipeline_; }

  // The outcome once the stream has ended or failed; nothing when the time passed first. The
  // pipeline reports through the main queue, which must keep running meanwhile.
  std::optional<Status> waitFor(Duration timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    MutexLock lock(mutex_);
    while (!outcome_) {
      if (!lock.waitUntil(done_, deadline) && !outcome_) return std::nullopt;
    }
    return outcome_;
  }

  ~CapturePipeline() { pipeline_.reset(); }

 private:
  void finish(Status outcome) {
    MutexLock lock(mutex_);
    if (!outcome_) outcome_ = std::move(outcome);
    done_.notify_all();
  }

  gst::ObjectPtr<GstElement> source_;
  std::unique_ptr<gst::Pipeline> pipeline_;
  Mutex mutex_;
  std::condition_variable done_;
  std::optional<Status> outcome_ VKR_GUARDED_BY(mutex_);
};

Status notAvailable() { return gst::mediaError(kMediaNotAvailable, "This machine has no camera"); }

Status tooLate() { return gst::mediaError(kMediaFailed, "The camera did not deliver in time"); }

}  // namespace

Status captureStillImage(const std::string& path, double quality, Duration timeout) {
  if (!videoInputAvailable()) return notAvailable();
  CapturePipeline capture;
  gst::ObjectPtr<GstElement> encoder = gst::makeElement("jpegenc");
  if (encoder) {
    g_object_set(encoder.get(), "quality", static_cast<int>(std::clamp(quality, 0.0, 1.0) * 100),
                 nullptr);
  }
  if (!capture.build(path, {&encoder})) {
    return gst::mediaError(kMediaFailed, "The media framework cannot take pictures");
  }
  g_object_set(capture.source(), "num-buffers", 1, nullptr);
  Status started = capture.pipeline().setState(GST_STATE_PLAYING);
  if (!started.ok()) return started;
  std::optional<Status> outcome = capture.waitFor(timeout);
  return outcome ? *outcome : tooLate();
}

Status captureVideo(const std::string& path, Duration duration) {
  if (!videoInputAvailable()) return notAvailable();
  CapturePipeline capture;
  gst::ObjectPtr<GstElement> encoder = gst::makeElement("vp8enc");
  gst::ObjectPtr<GstElement> muxer = gst::makeElement("webmmux");
  if (encoder) g_object_set(encoder.get(), "deadline", static_cast<gint64>(1), nullptr);
  if (!capture.build(path, {&encoder, &muxer})) {
    return gst::mediaError(kMediaFailed, "The media framework cannot record video");
  }
  Status started = capture.pipeline().setState(GST_STATE_PLAYING);
  if (!started.ok()) return started;
  // A failure ends recording early; otherwise the stream ends after the duration.
  if (std::optional<Status> early = capture.waitFor(duration)) return *early;
  capture.pipeline().sendEndOfStream();
  std::optional<Status> outcome = capture.waitFor(seconds(10));
  return outcome ? *outcome : tooLate();
}

}  // namespace platform::media
