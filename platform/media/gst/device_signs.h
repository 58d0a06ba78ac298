#pragma once

#include <filesystem>
#include <string>

namespace platform::media::gst {

// What tells whether this machine has sound or video devices, without loading a media plugin:
// the sound servers' variables and the folders where servers and devices show themselves.
// GStreamer's automatic choices load and try every audio (or video) plugin they know; where
// nothing is in sight they could only end empty-handed.
struct DeviceEnvironment {
  std::filesystem::path root = "/";        // /dev and /run are looked up under it
  std::string pulseServer;                 // $PULSE_SERVER
  std::filesystem::path runtimeDirectory;  // $XDG_RUNTIME_DIR
  std::string searchPath;                  // $PATH
};

// This process's environment.
DeviceEnvironment currentDeviceEnvironment();

enum class AudioDirection { Playback, Capture };

// Whether a sound server or device that may play (or record) is in sight: a PulseAudio or
// PipeWire server (or the PulseAudio program, which its clients start on demand), a running JACK
// server, an ALSA device node of that direction or an OSS device.
bool audioDeviceInSight(const DeviceEnvironment& environment, AudioDirection direction);

// Whether a camera may be found: a video device node, or a PipeWire server, which hands cameras
// out too.
bool videoDeviceInSight(const DeviceEnvironment& environment);

}  // namespace platform::media::gst
