#include "platform/media/gst/device_signs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/testing/temp_dir.h"

namespace platform::media::gst {
namespace {

TEST(DeviceSignsTest, ServersAndDeviceNodesAreDevicesInSight) {
  struct Case {
    std::string name;
    std::vector<std::string> files;  // under the machine's root; bin/ is on the search path
    std::string pulseServer;
    bool playback, capture, video;
  };
  const Case cases[] = {
      {"nothing", {}, "", false, false, false},
      {"a JACK client's leftover database",
       {"dev/shm/jack_db-0/metadata"},
       "",
       false,
       false,
       false},
      {"ALSA capture only", {"dev/snd/pcmC0D0c", "dev/snd/controlC0"}, "", false, true, false},
      {"ALSA playback only", {"dev/snd/pcmC1D3p", "dev/snd/controlC1"}, "", true, false, false},
      {"pulse server variable", {}, "tcp:sound.example", true, true, false},
      {"pulse socket", {"runtime/pulse/native"}, "", true, true, false},
      {"system-wide pulse", {"run/pulse/native"}, "", true, true, false},
      {"pulse program to start", {"bin/pulseaudio"}, "", true, true, false},
      {"pipewire socket", {"runtime/pipewire-0"}, "", true, true, true},
      {"OSS device", {"dev/dsp"}, "", true, true, false},
      {"JACK server", {"dev/shm/jack-shm-registry"}, "", true, true, false},
      {"camera", {"dev/video0"}, "", false, false, true},
  };
  for (const Case& c : cases) {
    platform::testing::TempDir root;
    for (const std::string& file : c.files) {
      platform::testing::writeFile(root / file, "");
      chmod((root / file).c_str(), 0755);
    }
    const DeviceEnvironment environment{.root = root.path(),
                                        .pulseServer = c.pulseServer,
                                        .runtimeDirectory = root / "runtime",
                                        .searchPath = "/nowhere:" + (root / "bin").string()};
    EXPECT_EQ(audioDeviceInSight(environment, AudioDirection::Playback), c.playback) << c.name;
    EXPECT_EQ(audioDeviceInSight(environment, AudioDirection::Capture), c.capture) << c.name;
    EXPECT_EQ(videoDeviceInSight(environment), c.video) << c.name;
  }
}

}  // namespace
}  // namespace platform::media::gst
