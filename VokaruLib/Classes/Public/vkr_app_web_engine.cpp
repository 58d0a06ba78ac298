#include "VokaruLib/Classes/Public/vkr_app_web_engine.h"

#include "VokaruLib/Classes/Private/Plugins/vkr_local_storage.h"
#include "VokaruLib/Classes/Public/vkr_app_container.h"
#include "platform/net/cookie_storage.h"
#include "platform/net/url_cache.h"
#include "platform/storage/app_home.h"
#include "platform/storage/user_defaults.h"

platform::web::WebKitEngineConfiguration vkrAppWebEngineConfiguration() {
  auto configuration = platform::web::WebKitEngineConfiguration::forCurrentApp();
  // The engine takes its storage folders once, when it is made: the web storage is put where
  // this run's "BackupWebStorage" wants it first (the controller's start-up repair, done early;
  // done again it finds nothing left to move).
  const platform::Dictionary settings = vkrAppConfigSettings();
  VKRLocalStorage::fixupDatabaseLocationsWithBackupType(
      VKRLocalStorage::backupTypeFromSettings(settings));
  if (platform::UserDefaults::standard()->boolForKey("WebKitStoreWebDataForBackup")) {
    configuration.localStorageDirectory = platform::AppHome::library() / "WebKit" / "LocalStorage";
  }
  std::shared_ptr<platform::net::URLCache> cache = platform::net::URLCache::shared();
  if (!cache->diskPath().empty()) configuration.cacheDirectory = cache->diskPath();
  configuration.urlCache = cache;
  configuration.cookieAcceptPolicy =
      platform::net::HTTPCookieStorage::shared()->cookieAcceptPolicy();
  configuration.consoleMessagesToStandardOutput = true;
  configuration.container = vkrAppContainer(settings);
  return configuration;
}

platform::Result<std::shared_ptr<platform::web::WebEngine>> vkrInstallAppWebEngine() {
  platform::Result<std::shared_ptr<platform::web::WebEngine>> engine =
      platform::web::makeWebKitEngine(vkrAppWebEngineConfiguration());
  if (engine.ok()) platform::web::setWebEngine(*engine);
  return engine;
}
