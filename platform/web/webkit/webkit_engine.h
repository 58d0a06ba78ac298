#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/foundation/error.h"
#include "platform/net/cookie_storage.h"
#include "platform/net/url_cache.h"
#include "platform/storage/app_container.h"
#include "platform/web/web_engine.h"

namespace platform::web {

// Where the engine keeps what pages store. An empty path keeps that kind of data in memory only.
struct WebKitEngineConfiguration {
  // Site data: IndexedDB, service workers, origin storage.
  std::filesystem::path dataDirectory;
  // The pages' localStorage databases.
  std::filesystem::path localStorageDirectory;
  // The HTTP cache.
  std::filesystem::path cacheDirectory;
  // The cookie store (an SQLite file).
  std::filesystem::path cookieFile;
  // Which cookies pages may set.
  net::HTTPCookieAcceptPolicy cookieAcceptPolicy = net::HTTPCookieAcceptPolicy::Always;
  // When set, the HTTP cache is emptied with it (its disk path is not taken: cacheDirectory is).
  std::shared_ptr<net::URLCache> urlCache;
  // Pages' console messages are written to the process's standard output.
  bool consoleMessagesToStandardOutput = false;
  // When set, pages reach no file outside the container: the web processes' extension refuses
  // their "file:" requests for other files and the views refuse navigations to them.
  std::optional<AppContainer> container;
  // Where the web processes find that extension; empty: defaultWebExtensionsDirectory().
  std::filesystem::path webExtensionsDirectory;

  // The locations inside an app home: "Library/WebKit", "Library/Caches" (localStorage, where the
  // web storage backup looks for it), "Library/Caches/WebKit" and "Library/Cookies/Cookies.sqlite".
  static WebKitEngineConfiguration forAppHome(const std::filesystem::path& appHome);
  // The locations inside the running app's home (AppEnvironment).
  static WebKitEngineConfiguration forCurrentApp();
};

// The WebKitGTK engine. Fails when GTK cannot open a display. Main thread only.
Result<std::shared_ptr<WebEngine>> makeWebKitEngine(const WebKitEngineConfiguration& configuration);

}  // namespace platform::web
