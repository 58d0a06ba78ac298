#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/thread_annotations.h"

namespace platform::media {

// The app's audio session: which kind of sound work the app does (its category) and whether
// it is active. The desktop shares its sound devices freely, so every change succeeds; the
// session only keeps what it is told. The microphone question is answered on a worker thread,
// granted unless a host or a test refuses it. Thread-safe.
class AudioSession {
 public:
  static constexpr const char* kCategoryAmbient = "AVAudioSessionCategoryAmbient";
  static constexpr const char* kCategorySoloAmbient = "AVAudioSessionCategorySoloAmbient";
  static constexpr const char* kCategoryPlayback = "AVAudioSessionCategoryPlayback";
  static constexpr const char* kCategoryRecord = "AVAudioSessionCategoryRecord";
  static constexpr const char* kCategoryPlayAndRecord = "AVAudioSessionCategoryPlayAndRecord";

  static AudioSession& sharedInstance();

  std::string category() const;
  std::optional<Error> setCategory(std::string category);
  bool isActive() const;
  std::optional<Error> setActive(bool active);

  // Asks for the microphone; the answer comes later, on a worker thread.
  void requestRecordPermission(std::function<void(bool granted)> answer);
  void setRecordPermission(bool granted);

 private:
  mutable Mutex mutex_;
  std::string category_ VKR_GUARDED_BY(mutex_) = kCategorySoloAmbient;
  bool active_ VKR_GUARDED_BY(mutex_) = false;
  bool recordPermission_ VKR_GUARDED_BY(mutex_) = true;
};

}  // namespace platform::media
