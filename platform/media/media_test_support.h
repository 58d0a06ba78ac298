#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/media/media_devices.h"
#include "platform/testing/temp_dir.h"
#include "platform/testing/wav.h"

namespace platform::media::testing {

// Sound tests run on GStreamer's test devices, with generated sound files in a temporary folder.
class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override { setMediaDevices(MediaDevices::Test); }
  void TearDown() override { setMediaDevices(MediaDevices::System); }

  std::string writeFile(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  std::string writeWav(const std::string& name, double seconds) {
    return writeFile(name, platform::testing::wavOf(seconds));
  }

  platform::testing::TempDir dir_;
};

}  // namespace platform::media::testing
