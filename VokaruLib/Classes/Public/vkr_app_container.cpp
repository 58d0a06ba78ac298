#include "VokaruLib/Classes/Public/vkr_app_container.h"

#include "VokaruLib/Classes/Public/vkr_config_parser.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/Classes/Public/vokaru_preferences.h"
#include "platform/storage/app_environment.h"

std::optional<platform::AppContainer> vkrAppContainer(const platform::Dictionary& settings) {
  if (vokaruBoolSettingForKey(settings, kVKRAllowFilesOutsideAppPreference, false)) {
    return std::nullopt;
  }
  return platform::AppEnvironment::current()->container();
}

platform::Dictionary vkrAppConfigSettings() {
  VKRConfigParser parser;
  if (!VKRViewController::parseSettingsWithParser(parser).ok()) return platform::Dictionary();
  return parser.settings();
}
