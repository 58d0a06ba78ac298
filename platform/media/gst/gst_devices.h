#pragma once

#include "platform/media/gst/gst_pipeline.h"

namespace platform::media::gst {

// Where sound goes: the machine's audio output, or with the test devices (or when the machine
// has no audio output) a sink that discards it at the pace of the clock, so that playing takes
// its real time.
ObjectPtr<GstElement> makeAudioSink();
// Where a recording's sound comes from: the machine's audio source, or a live test tone.
ObjectPtr<GstElement> makeAudioSource();
// Where pictures come from: the first video device, or a live test picture.
ObjectPtr<GstElement> makeVideoSource();

}  // namespace platform::media::gst

namespace platform::media::gst {

// A player pipeline for the URI whose sound goes to makeAudioSink() and whose pictures, if any,
// are discarded.
ObjectPtr<GstElement> makePlaybin(const std::string& uri);

}  // namespace platform::media::gst
