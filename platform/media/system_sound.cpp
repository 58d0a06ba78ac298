#include "platform/media/system_sound.h"

#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/media/audio_player.h"

namespace platform::media {

void playSystemSound(const std::string& path, std::function<void()> completion) {
  auto finish = [completion] {
    if (completion) mainQueue()->async(completion);
  };
  Result<std::shared_ptr<AudioPlayer>> player = AudioPlayer::create(path);
  if (!player.ok()) {
    logf("Cannot play the sound %s: %s", path.c_str(),
         player.error().localizedDescription().c_str());
    finish();
    return;
  }
  // The player keeps itself alive until it has played: its handler holds it and is dropped
  // when it runs.
  std::shared_ptr<AudioPlayer> sound = *player;
  sound->setFinishedHandler([sound, completion](bool) {
    if (completion) completion();
    sound->setFinishedHandler(nullptr);
  });
  if (!sound->play()) {
    logf("Cannot play the sound %s: no audio output", path.c_str());
    sound->setFinishedHandler(nullptr);
    finish();
  }
}

}  // namespace platform::media
