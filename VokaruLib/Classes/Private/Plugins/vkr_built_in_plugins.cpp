#include "VokaruLib/Classes/Private/Plugins/vkr_built_in_plugins.h"

#include "VokaruLib/Classes/Private/Plugins/vkr_gesture_handler.h"
#include "VokaruLib/Classes/Private/Plugins/vkr_handle_open_url.h"
#include "VokaruLib/Classes/Private/Plugins/vkr_intent_and_navigation_filter.h"
#include "VokaruLib/Classes/Private/Plugins/vkr_local_storage.h"
#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_engine.h"

VKR_REGISTER_WEB_VIEW_ENGINE(VKRUIWebViewEngine);
VKR_REGISTER_PLUGIN(VKRGestureHandler);
VKR_REGISTER_PLUGIN(VKRHandleOpenURL);
VKR_REGISTER_PLUGIN(VKRIntentAndNavigationFilter);
VKR_REGISTER_PLUGIN(VKRLocalStorage);

// The registrations above run when this file is linked; calling this links it.
void vkrRegisterBuiltInPlugins() {}
