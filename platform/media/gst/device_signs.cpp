#include "platform/media/gst/device_signs.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace platform::media::gst {

namespace {

bool present(const std::filesystem::path& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

bool hasEntry(const std::filesystem::path& folder, const std::string& prefix,
              const std::string& suffix = "") {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix) && name.ends_with(suffix)) return true;
  }
  return false;
}

bool programOnPath(const std::string& searchPath, const std::string& program) {
  std::istringstream folders(searchPath);
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && access((std::filesystem::path(folder) / program).c_str(), X_OK) == 0) {
      return true;
    }
  }
  return false;
}

bool pipeWireRuns(const DeviceEnvironment& environment) {
  return !environment.runtimeDirectory.empty() &&
         present(environment.runtimeDirectory / "pipewire-0");
}

}  // namespace

DeviceEnvironment currentDeviceEnvironment() {
  auto variable = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  return {.root = "/",
          .pulseServer = variable("PULSE_SERVER"),
          .runtimeDirectory = variable("XDG_RUNTIME_DIR"),
          .searchPath = variable("PATH")};
}

bool audioDeviceInSight(const DeviceEnvironment& environment, AudioDirection direction) {
  const std::filesystem::path& root = environment.root;
  const std::filesystem::path& runtime = environment.runtimeDirectory;
  const bool pulse =
      !environment.pulseServer.empty() || (!runtime.empty() && present(runtime / "pulse/native")) ||
      present(root / "run/pulse/native") || programOnPath(environment.searchPath, "pulseaudio");
  // ALSA names its nodes pcmC<card>D<device>, then p to play or c to capture.
  const char* alsaSuffix = direction == AudioDirection::Playback ? "p" : "c";
  return pulse || pipeWireRuns(environment) || present(root / "dev/shm/jack-shm-registry") ||
         hasEntry(root / "dev/snd", "pcmC", alsaSuffix) || present(root / "dev/dsp");
}

bool videoDeviceInSight(const DeviceEnvironment& environment) {
  return pipeWireRuns(environment) || hasEntry(environment.root / "dev", "video");
}

}  // namespace platform::media::gst
