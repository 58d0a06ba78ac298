// System sounds on GStreamer: file → WAV parser → converter → the configured audio sink.
#include <gst/gst.h>
#include <unistd.h>

#include <atomic>
#include <utility>

#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/media/gst/gst_devices.h"
#include "platform/media/system_sound.h"

namespace platform::media {

namespace {

std::atomic<uint64_t> plays{0};

// Read and set on the main thread only, as sounds are played. Empty: the machine's output.
std::string& sinkName() {
  static auto* name = new std::string;
  return *name;
}

class GstSystemSound final : public SystemSound,
                             public std::enable_shared_from_this<GstSystemSound> {
 public:
  explicit GstSystemSound(std::filesystem::path file) : file_(std::move(file)) {}
  ~GstSystemSound() override { stop(); }

  void play(Completion completion) override {
    stop();
    countPlay();
    completion_ = std::move(completion);
    const std::string sink = sinkName();
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* parser = gst_element_factory_make("wavparse", nullptr);
    GstElement* converter = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resampler = gst_element_factory_make("audioresample", nullptr);
    // Made when the sound plays, so that audio plugins load only once a sound is heard.
    gst::ObjectPtr<GstElement> output =
        sink.empty() ? gst::makeAudioSink() : gst::makeElement(sink.c_str());
    if (!source || !parser || !converter || !resampler || !output) {
      for (GstElement* e : {source, parser, converter, resampler}) {
        if (e) gst_object_unref(e);
      }
      gst_object_unref(pipeline);
      log("A system sound can't play: an audio element is missing");
      mainQueue()->async([self = shared_from_this()] { self->finish(); });
      return;
    }
    g_object_set(source, "location", file_.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, parser, converter, resampler, output.get(),
                     nullptr);
    gst_element_link_many(source, parser, converter, resampler, output.get(), nullptr);
    pipeline_ = pipeline;
    GstBus* bus = gst_element_get_bus(pipeline_);
    // The watch holds the sound weakly: a sound dropped while playing completes nothing.
    auto* weak = new std::weak_ptr<GstSystemSound>(weak_from_this());
    watch_ = gst_bus_add_watch_full(
        bus, G_PRIORITY_DEFAULT,
        +[](GstBus*, GstMessage* message, gpointer data) -> gboolean {
          const auto type = GST_MESSAGE_TYPE(message);
          if (type != GST_MESSAGE_EOS && type != GST_MESSAGE_ERROR) return G_SOURCE_CONTINUE;
          if (auto sound = static_cast<std::weak_ptr<GstSystemSound>*>(data)->lock()) {
            sound->watch_ = 0;
            mainQueue()->async([sound] { sound->finish(); });
          }
          return G_SOURCE_REMOVE;
        },
        weak, +[](gpointer data) { delete static_cast<std::weak_ptr<GstSystemSound>*>(data); });
    gst_object_unref(bus);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
      log("A system sound can't play: the audio output refused it");
      stop();
      mainQueue()->async([self = shared_from_this()] { self->finish(); });
    }
  }

 private:
  void finish() {
    stop();
    if (Completion completion = std::exchange(completion_, nullptr)) completion();
  }

  void stop() {
    if (watch_) g_source_remove(watch_);
    watch_ = 0;
    if (pipeline_) {
      gst_element_set_state(pipeline_, GST_STATE_NULL);
      gst_object_unref(pipeline_);
      pipeline_ = nullptr;
    }
  }

  std::filesystem::path file_;
  GstElement* pipeline_ = nullptr;
  guint watch_ = 0;
  Completion completion_;
};

}  // namespace

Result<std::shared_ptr<SystemSound>> SystemSound::create(const std::filesystem::path& file) {
  if (access(file.c_str(), R_OK) != 0 || !std::filesystem::is_regular_file(file)) {
    return Error::withDescription(kSystemSoundErrorDomain, kSystemSoundUnreadable,
                                  "No sound file at " + file.string());
  }
  gst::ensureInitialized();
  return std::shared_ptr<SystemSound>(std::make_shared<GstSystemSound>(file));
}

bool playSystemSoundWithID(uint32_t soundID) {
  (void)soundID;
  return false;
}

uint64_t SystemSound::playCount() { return plays.load(); }

void SystemSound::countPlay() { plays.fetch_add(1); }

void SystemSound::setAudioSink(std::string elementName) { sinkName() = std::move(elementName); }

}  // namespace platform::media
