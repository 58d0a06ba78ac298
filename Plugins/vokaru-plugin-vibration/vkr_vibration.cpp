#include "Plugins/vokaru-plugin-vibration/vkr_vibration.h"

#include "platform/media/system_sound.h"

VKR_REGISTER_PLUGIN(VKRVibration);

VKRVibration::VKRVibration(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("vibrate", &VKRVibration::vibrate);
}

void VKRVibration::vibrate(const VKRInvokedUrlCommand&) {
  platform::media::playSystemSoundWithID(platform::media::kSystemSoundIDVibrate);
}
