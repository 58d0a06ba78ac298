#include "VokaruLib/Classes/Public/vkr_app_delegate.h"

#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/notification_center.h"
#include "platform/foundation/log.h"
#include "platform/net/cookie_storage.h"
#include "platform/net/url_cache.h"
#include "platform/storage/app_home.h"
#include "platform/ui/screen.h"
#include "platform/ui/view_controller.h"

VKRAppDelegate::VKRAppDelegate() {
  VKR_ASSERT_MAIN_THREAD();
  platform::net::HTTPCookieStorage::shared()->setCookieAcceptPolicy(
      platform::net::HTTPCookieAcceptPolicy::Always);
  platform::net::URLCache::setShared(
      std::make_shared<platform::net::URLCache>(kURLCacheMemoryCapacity, kURLCacheDiskCapacity,
                                                platform::AppHome::caches() / kURLCacheDiskPath));
}

bool VKRAppDelegate::didFinishLaunching(platform::ui::Application&, const platform::Value&) {
  VKR_ASSERT_MAIN_THREAD();
  window_ = std::make_shared<platform::ui::Window>(platform::ui::Screen::main().bounds());
  window_->setAutoresizesSubviews(true);
  if (!viewController_) {
    platform::Result<std::shared_ptr<VKRViewController>> made = VKRViewController::create();
    if (!made.ok()) {
      platform::log(made.error().localizedDescription());
      return false;
    }
    viewController_ = *made;
  }
  window_->setRootViewController(viewController_);
  window_->makeKeyAndVisible();
  return true;
}

bool VKRAppDelegate::openURL(platform::ui::Application&, const std::string& url, const std::string&,
                             const platform::Value&) {
  if (url.empty()) return false;
  platform::NotificationCenter::defaultCenter().post(VKRPluginHandleOpenURLNotification, nullptr,
                                                     platform::Value(), url);
  return true;
}

unsigned VKRAppDelegate::supportedInterfaceOrientations(
    platform::ui::Application&, const std::shared_ptr<platform::ui::Window>&) {
  return platform::ui::kOrientationMaskAll;
}

void VKRAppDelegate::didReceiveMemoryWarning(platform::ui::Application&) {
  platform::net::URLCache::shared()->removeAllCachedResponses();
}
