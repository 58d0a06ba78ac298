#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser.h"

#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser_navigation_controller.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/json.h"
#include "platform/foundation/log.h"
#include "platform/foundation/percent_encoding.h"
#include "platform/net/cookie_storage.h"
#include "platform/ui/application.h"
#include "platform/web/web_engine.h"

VKR_REGISTER_PLUGIN(VKRInAppBrowser);

namespace {

using ArgumentClass = VKRInvokedUrlCommand::ArgumentClass;

// Makes sure the page has the hidden frame whose navigations carry answers back.
constexpr const char* kBridgeScript =
    "(function(d){_vkrIframeBridge=d.getElementById('_vkrIframeBridge');if(!_vkrIframeBridge) "
    "{var e = _vkrIframeBridge = d.createElement('iframe');e.id='_vkrIframeBridge'; "
    "e.style.display='none';d.body.appendChild(e);}})(document)";

constexpr const char* kScriptCodeAnswered =
    "_vkrIframeBridge.src='vkr-iab://%@/'+encodeURIComponent(JSON.stringify([eval(%%@)]));";
constexpr const char* kScriptFileAnswered =
    "(function(d) { var c = d.createElement('script'); c.src = %%@; c.onload = function() { "
    "_vkrIframeBridge.src='vkr-iab://%@'; }; d.body.appendChild(c); })(document)";
constexpr const char* kScriptFilePlain =
    "(function(d) { var c = d.createElement('script'); c.src = %@; d.body.appendChild(c); "
    "})(document)";
constexpr const char* kStyleCodeAnswered =
    "(function(d) { var c = d.createElement('style'); c.innerHTML = %%@; c.onload = function() { "
    "_vkrIframeBridge.src='vkr-iab://%@'; }; d.body.appendChild(c); })(document)";
constexpr const char* kStyleCodePlain =
    "(function(d) { var c = d.createElement('style'); c.innerHTML = %@; d.body.appendChild(c); "
    "})(document)";
constexpr const char* kStyleFileAnswered =
    "(function(d) { var c = d.createElement('link'); c.rel='stylesheet'; c.type='text/css'; "
    "c.href = %%@; c.onload = function() { _vkrIframeBridge.src='vkr-iab://%@'; }; "
    "d.body.appendChild(c); })(document)";
constexpr const char* kStyleFilePlain =
    "(function(d) { var c = d.createElement('link'); c.rel='stylesheet', c.type='text/css'; "
    "c.href = %@; d.body.appendChild(c); })(document)";

constexpr const char* kIncorrectArguments = "incorrect number of arguments";

// The wrapper with its markers replaced in one pass, literally: "%%@" by `source`, "%@" by
// `callbackId` (or, with no callback id, "%@" by `source`). Nothing put in is read again, so no
// text in an id or a source can act as a marker.
std::string fillWrapper(std::string_view wrapper, const std::optional<std::string>& callbackId,
                        std::string_view source) {
  std::string script;
  for (size_t i = 0; i < wrapper.size();) {
    if (callbackId && wrapper.compare(i, 3, "%%@") == 0) {
      script += source;
      i += 3;
    } else if (wrapper.compare(i, 2, "%@") == 0) {
      script += callbackId ? std::string_view(*callbackId) : source;
      i += 2;
    } else {
      script += wrapper[i++];
    }
  }
  return script;
}

// The source as a script string literal: the JSON of [source] without its brackets.
std::optional<std::string> sourceLiteral(const std::string& source) {
  platform::Result<std::string> json = platform::toJSON(platform::Value::array({source}));
  if (!json.ok() || json->size() < 2) return std::nullopt;
  return json->substr(1, json->size() - 2);
}

}  // namespace

VKRInAppBrowser::VKRInAppBrowser(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("open", &VKRInAppBrowser::open);
  addAction("close", &VKRInAppBrowser::close);
  addAction("show", &VKRInAppBrowser::show);
  addAction("injectScriptCode", &VKRInAppBrowser::injectScriptCode);
  addAction("injectScriptFile", &VKRInAppBrowser::injectScriptFile);
  addAction("injectStyleCode", &VKRInAppBrowser::injectStyleCode);
  addAction("injectStyleFile", &VKRInAppBrowser::injectStyleFile);
}

VKRInAppBrowser::~VKRInAppBrowser() {
  if (inAppBrowserViewController_) inAppBrowserViewController_->setNavigationDelegate({});
}

void VKRInAppBrowser::pluginInitialize() {
  previousStatusBarStyle_ = kNoStatusBarStyle;
  callbackIdPattern_.reset();
}

void VKRInAppBrowser::onReset() { closeWindow(); }

void VKRInAppBrowser::open(const VKRInvokedUrlCommand& command) {
  const platform::Value url = command.argumentAtIndex(0, platform::Value(), ArgumentClass::String);
  const platform::Value targetArgument =
      command.argumentAtIndex(1, platform::Value("_self"), ArgumentClass::String);
  const platform::Value options =
      command.argumentAtIndex(2, platform::Value(""), ArgumentClass::String);
  callbackId_ = command.callbackId();

  VKRPluginResult result = VKRPluginResult::resultWithStatus(kVKRCommandStatusOK);
  if (!url.stringIf()) {
    result = VKRPluginResult::resultWithStatus(kVKRCommandStatusError, kIncorrectArguments);
  } else {
    // A relative text opens beside the app's current page.
    std::shared_ptr<VKRWebViewEngineProtocol> engine = webViewEngine();
    platform::Result<platform::URL> base =
        platform::URL::parse(engine ? engine->url() : std::string());
    platform::Result<platform::URL> absolute = base.ok() && base->isAbsolute()
                                                   ? base->resolve(*url.stringIf())
                                                   : platform::URL::parse(*url.stringIf());
    if (!absolute.ok() || !absolute->isAbsolute()) {
      result = VKRPluginResult::resultWithStatus(kVKRCommandStatusError, "invalid URL");
    } else {
      std::string target = *targetArgument.stringIf();
      if (isSystemUrl(*absolute)) target = "_system";
      if (target == "_self") {
        openInVokaruWebView(*absolute);
      } else if (target == "_system") {
        openInSystem(absolute->absoluteString());
      } else {
        openInInAppBrowser(*absolute, *options.stringIf());
      }
    }
  }
  result.setKeepCallback(true);
  if (auto delegate = commandDelegate()) delegate->sendPluginResult(result, command.callbackId());
}

bool VKRInAppBrowser::isSystemUrl(const platform::URL& url) {
  const std::optional<std::string>& host = url.parts().host;
  return host && *host == kAppStoreWebHost;
}

void VKRInAppBrowser::openInVokaruWebView(const platform::URL& url) {
  if (auto engine = webViewEngine())
    engine->loadRequest(platform::web::URLRequest(url.absoluteString()));
}

void VKRInAppBrowser::openInSystem(const std::string& url) {
  platform::ui::Application& application = platform::ui::Application::shared();
  if (application.canOpenURL(url)) {
    application.openURL(url);
  } else {
    platform::NotificationCenter::defaultCenter().post(VKRPluginHandleOpenURLNotification, nullptr,
                                                       {}, url);
  }
}

void VKRInAppBrowser::openInInAppBrowser(const platform::URL& url, std::string_view optionText) {
  const VKRInAppBrowserOptions options = VKRInAppBrowserOptions::parseOptions(optionText);
  if (!inAppBrowserViewController_) {
    std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
    inAppBrowserViewController_ = VKRInAppBrowserViewController::create(
        VKRUserAgentUtil::originalUserAgent(), delegate ? delegate->userAgent() : std::string(),
        options, appProcessFor(url));
    if (!inAppBrowserViewController_) {
      platform::log("The in-app browser needs a web engine; none is installed.");
      return;
    }
    inAppBrowserViewController_->setNavigationDelegate(
        std::static_pointer_cast<VKRInAppBrowserNavigationDelegate>(self()));
    if (std::shared_ptr<VKRViewController> controller = viewController()) {
      inAppBrowserViewController_->setOrientationDelegate(controller);
    }
  }
  applyOptions(*inAppBrowserViewController_, options);

  // The page loads only once the cookies are gone, so it cannot see them.
  std::weak_ptr<VKRInAppBrowserViewController> window = inAppBrowserViewController_;
  const std::string address = url.absoluteString();
  clearCookies(options, [window, address] {
    if (auto shown = window.lock()) shown->navigateTo(address);
  });
  if (!options.hidden) showWindow();
}

std::optional<VKRInAppBrowserViewController::AppProcess> VKRInAppBrowser::appProcessFor(
    const platform::URL& url) {
  std::shared_ptr<VKRWebViewEngineProtocol> engine = webViewEngine();
  std::shared_ptr<VKRViewController> controller = viewController();
  if (!engine || !controller) return std::nullopt;
  std::optional<platform::URL> startPage = controller->appUrl();
  std::optional<VKRAppOrigin> origin = startPage ? VKRAppOrigin::of(*startPage) : std::nullopt;
  // Both pages must be the app's own: the window's, and the one the app's web view shows now.
  if (!origin || !origin->contains(url.absoluteString()) || !origin->contains(engine->url())) {
    return std::nullopt;
  }
  return VKRInAppBrowserViewController::AppProcess{engine->engineWebView(), *origin};
}

void VKRInAppBrowser::applyOptions(VKRInAppBrowserViewController& window,
                                   const VKRInAppBrowserOptions& options) {
  window.showLocationBar(options.location);
  window.showToolBar(options.toolbar, options.toolbarposition);
  if (options.closebuttoncaption) window.setCloseButtonTitle(*options.closebuttoncaption);

  const std::string presentation = vkrLowercase(options.presentationstyle.value_or(""));
  window.setModalPresentationStyle(presentation == "pagesheet"   ? 1
                                   : presentation == "formsheet" ? 2
                                                                 : 0);
  const std::string transition = vkrLowercase(options.transitionstyle.value_or(""));
  window.setModalTransitionStyle(transition == "fliphorizontal"  ? 1
                                 : transition == "crossdissolve" ? 2
                                                                 : 0);

  platform::web::WebViewSettings settings = window.webView()->settings();
  if (options.disallowoverscroll) settings.bounces = false;
  settings.scalesPageToFit = options.enableviewportscale;
  settings.mediaPlaybackRequiresUserAction = options.mediaplaybackrequiresuseraction;
  settings.allowsInlineMediaPlayback = options.allowinlinemediaplayback;
  settings.keyboardDisplayRequiresUserAction = options.keyboarddisplayrequiresuseraction;
  settings.suppressesIncrementalRendering = options.suppressesincrementalrendering;
  window.webView()->setSettings(settings);
}

void VKRInAppBrowser::clearCookies(const VKRInAppBrowserOptions& options,
                                   std::function<void()> then) {
  if (!options.clearcache && !options.clearsessioncache) {
    then();
    return;
  }
  const bool all = options.clearcache;
  // The shared jar of the app's own URL sessions...
  const std::shared_ptr<platform::net::HTTPCookieStorage>& jar =
      platform::net::HTTPCookieStorage::shared();
  for (const platform::net::HTTPCookie& cookie : jar->cookies()) {
    if (cookie.domain != kFileCookieDomain && (all || cookie.isSessionOnly())) {
      jar->deleteCookie(cookie);
    }
  }
  // ...and the web views' own store.
  std::shared_ptr<platform::web::WebEngine> engine = platform::web::webEngine();
  if (!engine) {
    then();
    return;
  }
  engine->deleteCookies(
      [all](const platform::web::WebCookie& cookie) {
        return cookie.domain != kFileCookieDomain && (all || cookie.isSessionOnly);
      },
      std::move(then));
}

void VKRInAppBrowser::show(const VKRInvokedUrlCommand&) { showWindow(); }

void VKRInAppBrowser::showWindow() {
  if (!inAppBrowserViewController_) {
    platform::log("Tried to show IAB after it was closed.");
    return;
  }
  if (previousStatusBarStyle_ != kNoStatusBarStyle) {
    platform::log("Tried to show IAB while already shown");
    return;
  }
  previousStatusBarStyle_ = platform::ui::Application::shared().statusBarStyle();
  auto container =
      std::make_shared<VKRInAppBrowserNavigationController>(inAppBrowserViewController_);
  container->setOrientationDelegate(inAppBrowserViewController_);
  inAppBrowserViewController_->setContainer(container);
  std::weak_ptr<VKRInAppBrowser> weak = self();
  platform::mainQueue()->async([weak, container] {
    std::shared_ptr<VKRInAppBrowser> plugin = weak.lock();
    if (!plugin || plugin->inAppBrowserViewController_ != container->rootViewController()) return;
    if (std::shared_ptr<VKRViewController> controller = plugin->viewController()) {
      controller->presentViewController(container, true, nullptr);
    }
  });
}

void VKRInAppBrowser::close(const VKRInvokedUrlCommand&) { closeWindow(); }

void VKRInAppBrowser::closeWindow() {
  if (!inAppBrowserViewController_) {
    platform::log("IAB.close() called but it was already closed.");
    return;
  }
  inAppBrowserViewController_->close();
}

void VKRInAppBrowser::browserExit() {
  if (callbackId_) {
    sendEvent({{"type", "exit"}}, kVKRCommandStatusOK, false);
    callbackId_.reset();
  }
  if (inAppBrowserViewController_) {
    inAppBrowserViewController_->setNavigationDelegate({});
    inAppBrowserViewController_.reset();
  }
  issuedCallbackIds_.clear();
  if (previousStatusBarStyle_ != kNoStatusBarStyle) {
    platform::ui::Application::shared().setStatusBarStyle(previousStatusBarStyle_);
  }
  previousStatusBarStyle_ = kNoStatusBarStyle;
}

void VKRInAppBrowser::sendEvent(platform::Dictionary event, int32_t status, bool keepCallback) {
  if (!callbackId_) return;
  VKRPluginResult result = VKRPluginResult::resultWithStatus(status, std::move(event));
  result.setKeepCallback(keepCallback);
  if (auto delegate = commandDelegate()) delegate->sendPluginResult(result, callbackId_);
}

void VKRInAppBrowser::injectScriptCode(const VKRInvokedUrlCommand& command) {
  inject(command, kScriptCodeAnswered, std::nullopt);
}

void VKRInAppBrowser::injectScriptFile(const VKRInvokedUrlCommand& command) {
  inject(command, kScriptFileAnswered, kScriptFilePlain);
}

void VKRInAppBrowser::injectStyleCode(const VKRInvokedUrlCommand& command) {
  inject(command, kStyleCodeAnswered, kStyleCodePlain);
}

void VKRInAppBrowser::injectStyleFile(const VKRInvokedUrlCommand& command) {
  inject(command, kStyleFileAnswered, kStyleFilePlain);
}

void VKRInAppBrowser::inject(const VKRInvokedUrlCommand& command, std::string_view answeredWrapper,
                             std::optional<std::string_view> plainWrapper) {
  const platform::Value source =
      command.argumentAtIndex(0, platform::Value(""), ArgumentClass::String);
  const std::optional<std::string>& id = command.callbackId();
  if (!id || *id == "INVALID") {
    injectDeferredObject(*source.stringIf(), std::nullopt, plainWrapper);
    return;
  }
  // The id goes into script: only the ids answers can come back to are taken.
  if (!isValidCallbackId(*id)) {
    platform::logf("The in-app browser cannot answer the callback id %s", id->c_str());
    if (auto delegate = commandDelegate()) {
      delegate->sendPluginResult(
          VKRPluginResult::resultWithStatus(kVKRCommandStatusError, "invalid callback id"), id);
    }
    return;
  }
  injectDeferredObject(*source.stringIf(), id, answeredWrapper);
}

void VKRInAppBrowser::injectDeferredObject(const std::string& source,
                                           const std::optional<std::string>& callbackId,
                                           std::optional<std::string_view> wrapper) {
  if (!inAppBrowserViewController_) return;
  platform::web::WebView& webView = *inAppBrowserViewController_->webView();
  webView.evaluateJavaScript(kBridgeScript, nullptr);
  if (!wrapper) {
    webView.evaluateJavaScript(source, nullptr);
    return;
  }
  std::optional<std::string> literal = sourceLiteral(source);
  if (!literal) return;
  if (callbackId) issuedCallbackIds_.insert(*callbackId);
  webView.evaluateJavaScript(fillWrapper(*wrapper, callbackId, *literal), nullptr);
}

bool VKRInAppBrowser::isValidCallbackId(std::string_view callbackId) {
  if (!callbackIdPattern_) {
    platform::Result<platform::Regex> pattern = platform::Regex::compile(kCallbackIdPattern);
    if (!pattern.ok()) return false;
    callbackIdPattern_ = *pattern;
  }
  return callbackIdPattern_->matchesWhole(callbackId);
}

VKRPluginResult VKRInAppBrowser::resultForAnswerPath(std::string_view path) {
  if (path.size() < 2) {
    return VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, platform::Value::Array());
  }
  std::optional<std::string> decoded = platform::percentDecode(path.substr(1));
  if (decoded) {
    platform::Result<platform::Value> value = platform::parseJSON(*decoded);
    if (value.ok() && value->arrayIf()) {
      return VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, *value->arrayIf());
    }
  }
  return VKRPluginResult::resultWithStatus(kVKRCommandStatusJSONError);
}

bool VKRInAppBrowser::shouldStartLoad(platform::web::WebView&,
                                      const platform::web::NavigationAction& action) {
  const platform::web::URLRequest& request = action.request;
  platform::Result<platform::URL> url = platform::URL::parse(request.url);
  const std::string scheme = url.ok() ? url->scheme() : std::string();
  if (scheme == kAnswerScheme) {
    const std::string id = url->parts().host.value_or("");
    if (!isValidCallbackId(id)) return true;
    if (issuedCallbackIds_.erase(id) == 0) {
      platform::logf("Dropped an in-app browser answer for %s, which was not asked for",
                     id.c_str());
      return false;
    }
    if (auto delegate = commandDelegate()) {
      delegate->sendPluginResult(resultForAnswerPath(url->parts().path), id);
    }
    return false;
  }
  if (scheme == "itms-appss" || scheme == "itms-apps") {
    if (inAppBrowserViewController_) inAppBrowserViewController_->webView()->stopLoading();
    openInSystem(request.url);
    return false;
  }
  if (callbackId_ && request.url == request.mainDocumentURL) {
    sendEvent({{"type", "loadstart"}, {"url", request.url}}, kVKRCommandStatusOK, true);
  }
  return true;
}

void VKRInAppBrowser::didFinishLoad(platform::web::WebView&) {
  if (!callbackId_ || !inAppBrowserViewController_) return;
  sendEvent({{"type", "loadstop"}, {"url", inAppBrowserViewController_->currentURL()}},
            kVKRCommandStatusOK, true);
}

void VKRInAppBrowser::didFailLoad(platform::web::WebView&, const platform::Error& error) {
  if (!callbackId_ || !inAppBrowserViewController_) return;
  sendEvent({{"type", "loaderror"},
             {"url", inAppBrowserViewController_->currentURL()},
             {"code", error.code()},
             {"message", error.localizedDescription()}},
            kVKRCommandStatusError, true);
}
