#pragma once

#include <memory>

#include "platform/foundation/error.h"
#include "platform/web/webkit/webkit_engine.h"

// Where the running app's web engine keeps what its pages store: the app home's places, the HTTP
// cache in the shared URL cache's folder (emptied with it), cookies accepted as the shared cookie
// storage accepts them, and localStorage where the "WebKitStoreWebDataForBackup" user default
// says: "Library/WebKit/LocalStorage" when set, else "Library/Caches" (as the web storage backup
// expects). Pages' console lines go to the standard output. Pages reach only the app's container
// unless config.xml lets them out (vkr_app_container.h).
platform::web::WebKitEngineConfiguration vkrAppWebEngineConfiguration();

// The WebKit engine with that configuration, installed as the process's web engine. Fails when
// there is no display.
platform::Result<std::shared_ptr<platform::web::WebEngine>> vkrInstallAppWebEngine();
