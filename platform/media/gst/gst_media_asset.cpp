#include <gst/pbutils/pbutils.h>

#include "platform/media/gst/gst_pipeline.h"
#include "platform/media/media_asset.h"
#include "platform/media/media_error.h"

namespace platform::media {

namespace {

using gst::ObjectPtr;

struct StreamListFree {
  void operator()(GList* list) const { gst_discoverer_stream_info_list_free(list); }
};
using StreamList = std::unique_ptr<GList, StreamListFree>;

void readAudio(GstDiscovererInfo* info, MediaFormat& format) {
  StreamList streams(gst_discoverer_info_get_audio_streams(info));
  if (!streams) return;
  auto* audio = GST_DISCOVERER_AUDIO_INFO(streams->data);
  format.hasAudio = true;
  format.sampleRate = static_cast<int>(gst_discoverer_audio_info_get_sample_rate(audio));
  format.channels = static_cast<int>(gst_discoverer_audio_info_get_channels(audio));
  format.audioBitrate = gst_discoverer_audio_info_get_bitrate(audio);
  const guint depth = gst_discoverer_audio_info_get_depth(audio);
  if (format.audioBitrate == 0 && depth > 0) {
    format.audioBitrate = static_cast<int64_t>(format.sampleRate) * format.channels * depth;
  }
}

void readVideo(GstDiscovererInfo* info, MediaFormat& format) {
  StreamList streams(gst_discoverer_info_get_video_streams(info));
  if (!streams) return;
  auto* video = GST_DISCOVERER_VIDEO_INFO(streams->data);
  format.videoSize =
      MediaFormat::Size{static_cast<double>(gst_discoverer_video_info_get_width(video)),
                        static_cast<double>(gst_discoverer_video_info_get_height(video))};
}

}  // namespace

Result<MediaFormat> discoverMediaFormat(const std::string& uri, Duration timeout) {
  gst::ensureInitialized();
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count();
  GError* gerror = nullptr;
  ObjectPtr<GstDiscoverer> discoverer(
      gst_discoverer_new(static_cast<GstClockTime>(nanoseconds), &gerror));
  if (!discoverer) {
    std::string text = gerror ? gerror->message : "no discoverer";
    g_clear_error(&gerror);
    return gst::mediaError(kMediaFailed, text);
  }
  ObjectPtr<GstDiscovererInfo> info(
      gst_discoverer_discover_uri(discoverer.get(), uri.c_str(), &gerror));
  const GstDiscovererResult result =
      info ? gst_discoverer_info_get_result(info.get()) : GST_DISCOVERER_ERROR;
  if (result != GST_DISCOVERER_OK) {
    std::string text = gerror && gerror->message ? gerror->message : "not a media file";
    g_clear_error(&gerror);
    return gst::mediaError(kMediaCannotOpen, "Cannot read the media at " + uri + ": " + text);
  }
  g_clear_error(&gerror);
  MediaFormat format;
  const GstClockTime duration = gst_discoverer_info_get_duration(info.get());
  if (GST_CLOCK_TIME_IS_VALID(duration))
    format.duration = static_cast<double>(duration) / GST_SECOND;
  readAudio(info.get(), format);
  readVideo(info.get(), format);
  if (!format.hasAudio && !format.videoSize) {
    return gst::mediaError(kMediaCannotOpen, "No audio or video in the media at " + uri);
  }
  return format;
}

}  // namespace platform::media
