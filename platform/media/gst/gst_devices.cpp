#include "platform/media/gst/gst_devices.h"

#include <atomic>

#include "platform/media/gst/device_signs.h"
#include "platform/media/media_devices.h"

namespace platform::media {

namespace {

std::atomic<MediaDevices> chosenDevices{MediaDevices::System};

// Whether the device monitor finds a device of the class ("Audio/Source", "Video/Source").
bool hasDevice(const char* deviceClass) {
  gst::ensureInitialized();
  gst::ObjectPtr<GstDeviceMonitor> monitor(gst_device_monitor_new());
  gst_device_monitor_add_filter(monitor.get(), deviceClass, nullptr);
  GList* devices = gst_device_monitor_get_devices(monitor.get());
  const bool found = devices != nullptr;
  g_list_free_full(devices, gst_object_unref);
  return found;
}

}  // namespace

MediaDevices mediaDevices() { return chosenDevices.load(); }
void setMediaDevices(MediaDevices devices) { chosenDevices.store(devices); }

// Asking the device monitor loads every plugin with devices of the class: not where none can be.
bool audioInputAvailable() {
  return mediaDevices() == MediaDevices::Test ||
         (gst::audioDeviceInSight(gst::currentDeviceEnvironment(), gst::AudioDirection::Capture) &&
          hasDevice("Audio/Source"));
}

bool videoInputAvailable() {
  return mediaDevices() == MediaDevices::Test ||
         (gst::videoDeviceInSight(gst::currentDeviceEnvironment()) && hasDevice("Video/Source"));
}

namespace gst {

ObjectPtr<GstElement> makeAudioSink() {
  // With no output in sight the automatic sink would load and try every audio plugin, only to
  // end with a sink like this one.
  if (mediaDevices() == MediaDevices::System &&
      audioDeviceInSight(currentDeviceEnvironment(), AudioDirection::Playback)) {
    return makeElement("autoaudiosink");
  }
  ObjectPtr<GstElement> sink = makeElement("fakesink");
  if (sink) g_object_set(sink.get(), "sync", TRUE, nullptr);
  return sink;
}

ObjectPtr<GstElement> makeAudioSource() {
  if (mediaDevices() == MediaDevices::System) return makeElement("autoaudiosrc");
  ObjectPtr<GstElement> source = makeElement("audiotestsrc");
  if (source) g_object_set(source.get(), "is-live", TRUE, "freq", 440.0, "volume", 0.2, nullptr);
  return source;
}

ObjectPtr<GstElement> makeVideoSource() {
  if (mediaDevices() == MediaDevices::System) return makeElement("v4l2src");
  ObjectPtr<GstElement> source = makeElement("videotestsrc");
  if (source) g_object_set(source.get(), "is-live", TRUE, nullptr);
  return source;
}

}  // namespace gst
}  // namespace platform::media

namespace platform::media::gst {

ObjectPtr<GstElement> makePlaybin(const std::string& uri) {
  ObjectPtr<GstElement> playbin = makeElement("playbin");
  ObjectPtr<GstElement> audioSink = makeAudioSink();
  ObjectPtr<GstElement> videoSink = makeElement("fakesink");
  if (!playbin || !audioSink || !videoSink) return nullptr;
  g_object_set(playbin.get(), "uri", uri.c_str(), "audio-sink", audioSink.get(), "video-sink",
               videoSink.get(), nullptr);
  return playbin;
}

}  // namespace platform::media::gst
