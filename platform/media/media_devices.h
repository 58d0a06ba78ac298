#pragma once

namespace platform::media {

// Where audio and video come from and where sound goes. The machine's own devices by default;
// tests switch to GStreamer's generated test sources and a sink that discards the sound in real
// time, so they run the same pipelines on machines without sound cards, microphones or cameras.
enum class MediaDevices { System, Test };

MediaDevices mediaDevices();
void setMediaDevices(MediaDevices devices);

// Whether the machine has an audio source (a microphone) or a video source (a camera). Always
// true with the test devices.
bool audioInputAvailable();
bool videoInputAvailable();

}  // namespace platform::media
