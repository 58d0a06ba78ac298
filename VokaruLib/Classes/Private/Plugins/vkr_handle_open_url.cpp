#include "VokaruLib/Classes/Private/Plugins/vkr_handle_open_url.h"

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "platform/foundation/json.h"

std::string VKRHandleOpenURL::openURLScript(const std::string& url) {
  std::string script =
      "document.addEventListener('deviceready',function(){if (typeof handleOpenURL === "
      "'function') { handleOpenURL(";
  // A URL from another program is untrusted: as a JSON string it cannot leave its literal.
  platform::appendJSONString(url, script);
  script += ");}});";
  return script;
}

VKRHandleOpenURL::VKRHandleOpenURL(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {}

// Open-URL requests come through handleOpenURL(), as to every plugin.
void VKRHandleOpenURL::pluginInitialize() {
  pageLoadObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      VKRPageDidLoadNotification, nullptr,
      [this](const platform::Notification& notification) { applicationPageDidLoad(notification); });
}

void VKRHandleOpenURL::applicationLaunchedWithUrl(const platform::Notification& notification) {
  const std::string* url = notification.objectAs<std::string>();
  if (!url) return;
  url_ = *url;
  if (pageLoaded_) {
    processOpenUrl(*url_, true);
    url_.reset();
  }
}

void VKRHandleOpenURL::applicationPageDidLoad(const platform::Notification&) {
  pageLoaded_ = true;
  if (url_) {
    processOpenUrl(*url_, true);
    url_.reset();
  }
}

void VKRHandleOpenURL::processOpenUrl(const std::string& url, bool) {
  if (std::shared_ptr<VKRWebViewEngineProtocol> engine = webViewEngine()) {
    engine->evaluateJavaScript(openURLScript(url), nullptr);
  }
}
