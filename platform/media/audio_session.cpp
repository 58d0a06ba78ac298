#include "platform/media/audio_session.h"

#include "platform/dispatch/queue.h"

namespace platform::media {

AudioSession& AudioSession::sharedInstance() {
  static AudioSession* session = new AudioSession();
  return *session;
}

std::string AudioSession::category() const {
  MutexLock lock(mutex_);
  return category_;
}

std::optional<Error> AudioSession::setCategory(std::string category) {
  MutexLock lock(mutex_);
  category_ = std::move(category);
  return std::nullopt;
}

bool AudioSession::isActive() const {
  MutexLock lock(mutex_);
  return active_;
}

std::optional<Error> AudioSession::setActive(bool active) {
  MutexLock lock(mutex_);
  active_ = active;
  return std::nullopt;
}

void AudioSession::requestRecordPermission(std::function<void(bool granted)> answer) {
  bool granted = false;
  {
    MutexLock lock(mutex_);
    granted = recordPermission_;
  }
  globalQueue()->async([answer = std::move(answer), granted] { answer(granted); });
}

void AudioSession::setRecordPermission(bool granted) {
  MutexLock lock(mutex_);
  recordPermission_ = granted;
}

}  // namespace platform::media
