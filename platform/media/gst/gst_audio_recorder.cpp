#include <filesystem>
#include <fstream>

#include "platform/dispatch/timer.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/media/audio_recorder.h"
#include "platform/media/gst/gst_devices.h"
#include "platform/media/media_devices.h"
#include "platform/media/media_error.h"

namespace platform::media {

namespace {

// source ! audioconvert ! audioresample ! audio/x-raw,S16LE,44100,mono ! wavenc ! filesink
gst::ObjectPtr<GstElement> makeRecordingPipeline(const std::string& path) {
  gst::ObjectPtr<GstElement> pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
  gst::ObjectPtr<GstElement> source = gst::makeAudioSource();
  gst::ObjectPtr<GstElement> convert = gst::makeElement("audioconvert");
  gst::ObjectPtr<GstElement> resample = gst::makeElement("audioresample");
  gst::ObjectPtr<GstElement> filter = gst::makeElement("capsfilter");
  gst::ObjectPtr<GstElement> encoder = gst::makeElement("wavenc");
  gst::ObjectPtr<GstElement> sink = gst::makeElement("filesink");
  if (!source || !convert || !resample || !filter || !encoder || !sink) return nullptr;
  GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate",
                                      G_TYPE_INT, AudioRecorder::kSampleRate, "channels",
                                      G_TYPE_INT, AudioRecorder::kChannels, nullptr);
  g_object_set(filter.get(), "caps", caps, nullptr);
  gst_caps_unref(caps);
  g_object_set(sink.get(), "location", path.c_str(), nullptr);
  GstElement* chain[] = {source.get(), convert.get(), resample.get(),
                         filter.get(), encoder.get(), sink.get()};
  for (GstElement* element : chain) gst_bin_add(GST_BIN(pipeline.get()), element);
  for (size_t i = 0; i + 1 < std::size(chain); ++i) {
    if (!gst_element_link(chain[i], chain[i + 1])) return nullptr;
  }
  return pipeline;
}

class GstAudioRecorder : public AudioRecorder,
                         public std::enable_shared_from_this<GstAudioRecorder> {
 public:
  explicit GstAudioRecorder(std::string path) : path_(std::move(path)) {}

  const std::string& path() const override { return path_; }

  bool prepareToRecord() override {
    MutexLock lock(mutex_);
    return prepareLocked();
  }

  bool record() override {
    MutexLock lock(mutex_);
    if (recording_) return true;
    if (!prepareLocked()) return false;
    if (!pipeline_->setState(GST_STATE_PLAYING).ok()) {
      pipeline_.reset();
      return false;
    }
    recording_ = true;
    return true;
  }

  bool recordForDuration(Duration duration) override {
    if (!record()) return false;
    std::weak_ptr<GstAudioRecorder> weak = weak_from_this();
    MutexLock lock(mutex_);
    limit_.cancel();
    limit_ = dispatchAfter(duration, mainQueue(), [weak] {
      if (auto self = weak.lock()) self->stop();
    });
    return true;
  }

  void stop() override {
    MutexLock lock(mutex_);
    limit_.cancel();
    if (!recording_ || stopping_) return;
    stopping_ = true;
    pipeline_->sendEndOfStream();
  }

  bool isRecording() const override {
    MutexLock lock(mutex_);
    return recording_;
  }

  double currentTime() const override {
    MutexLock lock(mutex_);
    return recording_ ? pipeline_->position().value_or(0) : 0;
  }

  void setFinishedHandler(Finished handler) override {
    MutexLock lock(mutex_);
    finished_ = std::move(handler);
  }
  void setEncodeErrorHandler(EncodeError handler) override {
    MutexLock lock(mutex_);
    encodeError_ = std::move(handler);
  }

 private:
  bool prepareLocked() VKR_REQUIRES(mutex_) {
    if (pipeline_) return true;
    // The file exists from here on, as a sign that the name is taken.
    if (!std::ofstream(path_, std::ios::binary | std::ios::trunc)) return false;
    gst::ObjectPtr<GstElement> element = makeRecordingPipeline(path_);
    if (!element) return false;
    std::weak_ptr<GstAudioRecorder> weak = weak_from_this();
    gst::PipelineEvents events;
    events.endOfStream = [weak] {
      if (auto self = weak.lock()) self->end(std::nullopt);
    };
    events.error = [weak](const Error& error) {
      if (auto self = weak.lock()) self->end(error);
    };
    auto pipeline = std::make_unique<gst::Pipeline>(std::move(element), std::move(events));
    if (!pipeline->setState(GST_STATE_READY).ok()) return false;
    pipeline_ = std::move(pipeline);
    return true;
  }

  // The stream ended after stop() (the file is complete) or failed on the way.
  void end(const std::optional<Error>& error) {
    Finished finished;
    EncodeError encodeError;
    {
      MutexLock lock(mutex_);
      if (!recording_) return;
      recording_ = false;
      stopping_ = false;
      limit_.cancel();
      pipeline_.reset();
      finished = finished_;
      encodeError = encodeError_;
    }
    if (error && encodeError) encodeError(*error);
    if (finished) finished(!error);
  }

  const std::string path_;
  mutable Mutex mutex_;
  std::unique_ptr<gst::Pipeline> pipeline_ VKR_GUARDED_BY(mutex_);
  bool recording_ VKR_GUARDED_BY(mutex_) = false;
  bool stopping_ VKR_GUARDED_BY(mutex_) = false;
  Timer limit_ VKR_GUARDED_BY(mutex_);
  Finished finished_ VKR_GUARDED_BY(mutex_);
  EncodeError encodeError_ VKR_GUARDED_BY(mutex_);
};

}  // namespace

Result<std::shared_ptr<AudioRecorder>> AudioRecorder::create(const std::string& path) {
  if (!audioInputAvailable()) {
    return gst::mediaError(kMediaNotAvailable, "This machine has no audio source to record from");
  }
  std::error_code error;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (path.empty() || !std::filesystem::is_directory(parent.empty() ? "." : parent, error)) {
    return gst::mediaError(kMediaCannotOpen, "No folder for the recording at " + path);
  }
  return std::shared_ptr<AudioRecorder>(std::make_shared<GstAudioRecorder>(path));
}

}  // namespace platform::media
