#include "platform/web/webkit/webkit_engine.h"

#include <webkit2/webkit2.h>

#include <map>

#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/queue.h"
#include "platform/storage/app_environment.h"
#include "platform/ui/gtk/gobject_ptr.h"
#include "platform/ui/gtk/gtk_init.h"
#include "platform/web/web_errors.h"
#include "platform/web/webkit/console_relay.h"
#include "platform/web/webkit/container_extension_setup.h"
#include "platform/web/webkit/scheme_task.h"
#include "platform/web/webkit/webkit_view.h"

namespace platform::web {

namespace {

using ui::gtk::adoptGObject;
using ui::gtk::GObjectPtr;
using ui::gtk::refGObject;

// The scheme handlers, shared with the engine's context, which may outlive the engine object.
using SchemeHandlers = std::map<std::string, URLSchemeHandler>;

WebKitCookieAcceptPolicy cookieAcceptPolicy(net::HTTPCookieAcceptPolicy policy) {
  switch (policy) {
    case net::HTTPCookieAcceptPolicy::Always:
      return WEBKIT_COOKIE_POLICY_ACCEPT_ALWAYS;
    case net::HTTPCookieAcceptPolicy::Never:
      return WEBKIT_COOKIE_POLICY_ACCEPT_NEVER;
    case net::HTTPCookieAcceptPolicy::OnlyFromMainDocumentDomain:
      return WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY;
  }
  return WEBKIT_COOKIE_POLICY_ACCEPT_ALWAYS;
}

class WebKitEngine final : public WebEngine {
 public:
  explicit WebKitEngine(const WebKitEngineConfiguration& configuration)
      : handlers_(std::make_shared<SchemeHandlers>()),
        consoleToStandardOutput_(configuration.consoleMessagesToStandardOutput) {
    GObjectPtr<WebKitWebsiteDataManager> data;
    if (configuration.dataDirectory.empty()) {
      data = adoptGObject(webkit_website_data_manager_new_ephemeral());
    } else {
      auto path = [](const std::filesystem::path& p) { return p.empty() ? nullptr : p.c_str(); };
      data = adoptGObject(webkit_website_data_manager_new(
          "base-data-directory", path(configuration.dataDirectory), "base-cache-directory",
          path(configuration.cacheDirectory), "local-storage-directory",
          path(configuration.localStorageDirectory), nullptr));
    }
    context_ = adoptGObject(webkit_web_context_new_with_website_data_manager(data.get()));
    if (configuration.container) {
      container_ = std::make_shared<const AppContainer>(*configuration.container);
      confineWebProcesses(context_.get(), *container_,
                          configuration.webExtensionsDirectory.empty()
                              ? defaultWebExtensionsDirectory()
                              : configuration.webExtensionsDirectory);
    }
    WebKitCookieManager* cookies = webkit_web_context_get_cookie_manager(context_.get());
    if (!configuration.dataDirectory.empty() && !configuration.cookieFile.empty()) {
      std::error_code ignored;
      std::filesystem::create_directories(configuration.cookieFile.parent_path(), ignored);
      webkit_cookie_manager_set_persistent_storage(cookies, configuration.cookieFile.c_str(),
                                                   WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    }
    webkit_cookie_manager_set_accept_policy(cookies,
                                            cookieAcceptPolicy(configuration.cookieAcceptPolicy));
    if (configuration.urlCache) {
      std::shared_ptr<WebKitWebsiteDataManager> manager(
          static_cast<WebKitWebsiteDataManager*>(g_object_ref(data.get())), g_object_unref);
      // The cache may be emptied from any thread; WebKit is called on the main thread only.
      configuration.urlCache->addStore([manager] {
        runOnMainThread([manager] {
          webkit_website_data_manager_clear(
              manager.get(),
              static_cast<WebKitWebsiteDataTypes>(WEBKIT_WEBSITE_DATA_MEMORY_CACHE |
                                                  WEBKIT_WEBSITE_DATA_DISK_CACHE),
              0, nullptr, nullptr, nullptr);
        });
      });
    }
  }

  std::shared_ptr<WebView> createWebView(const WebViewOptions& options) override {
    auto* related = dynamic_cast<WebKitView*>(options.relatedView.get());
    auto view = std::make_shared<WebKitView>(options.frame, context_.get(),
                                             related ? related->webKitView() : nullptr);
    view->setFileContainer(container_);
    if (consoleToStandardOutput_) relayConsoleToStandardOutput(view->webKitView());
    return view;
  }

  void deleteCookies(std::function<bool(const WebCookie& cookie)> matching,
                     std::function<void()> completion) override {
    auto job = std::make_shared<CookieDeletion>();
    job->matching = std::move(matching);
    job->completion = std::move(completion);
    job->manager = refGObject(webkit_web_context_get_cookie_manager(context_.get()));
    webkit_cookie_manager_get_all_cookies(job->manager.get(), nullptr, &WebKitEngine::gotCookies,
                                          new std::shared_ptr<CookieDeletion>(job));
  }

  std::string defaultUserAgent() override {
    static const std::string agent = [] {
      GObjectPtr<WebKitSettings> settings = adoptGObject(webkit_settings_new());
      const char* value = webkit_settings_get_user_agent(settings.get());
      return std::string(value ? value : "");
    }();
    return agent;
  }

 protected:
  Status registerURLSchemeImpl(const std::string& scheme, URLSchemeHandler handler) override {
    const bool known = handlers_->count(scheme) > 0;
    (*handlers_)[scheme] = std::move(handler);
    if (known) return okStatus();
    webkit_web_context_register_uri_scheme(
        context_.get(), scheme.c_str(), &WebKitEngine::serve,
        new std::shared_ptr<SchemeHandlers>(handlers_),
        [](gpointer data) { delete static_cast<std::shared_ptr<SchemeHandlers>*>(data); });
    // Pages of the scheme are secure contexts and may be fetched from pages of other origins.
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context_.get());
    webkit_security_manager_register_uri_scheme_as_secure(security, scheme.c_str());
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme.c_str());
    return okStatus();
  }

 private:
  // One deleteCookies(): done once every matching cookie's deletion has been answered.
  struct CookieDeletion {
    std::function<bool(const WebCookie& cookie)> matching;
    std::function<void()> completion;
    GObjectPtr<WebKitCookieManager> manager;
    int pending = 0;

    void finishOne() {
      if (--pending == 0 && completion) mainQueue()->async(std::move(completion));
    }
  };

  static void gotCookies(GObject* source, GAsyncResult* result, gpointer data) {
    std::shared_ptr<CookieDeletion> job = *static_cast<std::shared_ptr<CookieDeletion>*>(data);
    delete static_cast<std::shared_ptr<CookieDeletion>*>(data);
    GError* error = nullptr;
    GList* cookies =
        webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, &error);
    if (error) g_error_free(error);
    // Held until the loop ends, so that a deletion answered at once cannot complete early.
    job->pending = 1;
    for (GList* item = cookies; item; item = item->next) {
      auto* cookie = static_cast<SoupCookie*>(item->data);
      WebCookie described;
      described.name = soup_cookie_get_name(cookie);
      described.domain = soup_cookie_get_domain(cookie);
      described.path = soup_cookie_get_path(cookie);
      described.isSessionOnly = soup_cookie_get_expires(cookie) == nullptr;
      if (!job->matching(described)) continue;
      ++job->pending;
      webkit_cookie_manager_delete_cookie(job->manager.get(), cookie, nullptr,
                                          &WebKitEngine::deletedCookie,
                                          new std::shared_ptr<CookieDeletion>(job));
    }
    g_list_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
    job->finishOne();
  }

  static void deletedCookie(GObject* source, GAsyncResult* result, gpointer data) {
    std::shared_ptr<CookieDeletion> job = *static_cast<std::shared_ptr<CookieDeletion>*>(data);
    delete static_cast<std::shared_ptr<CookieDeletion>*>(data);
    webkit_cookie_manager_delete_cookie_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
    job->finishOne();
  }

  static void serve(WebKitURISchemeRequest* request, gpointer data) {
    const auto& handlers = **static_cast<std::shared_ptr<SchemeHandlers>*>(data);
    auto task = std::make_shared<WebKitSchemeTask>(request);
    const char* scheme = webkit_uri_scheme_request_get_scheme(request);
    auto found = handlers.find(scheme ? scheme : "");
    if (found == handlers.end()) {
      task->fail(Error::withDescription(kURLErrorDomain, kURLErrorUnsupportedURL,
                                        "No handler for this URL scheme"));
      return;
    }
    found->second(std::move(task));
  }

  std::shared_ptr<SchemeHandlers> handlers_;
  bool consoleToStandardOutput_;
  std::shared_ptr<const AppContainer> container_;
  GObjectPtr<WebKitWebContext> context_;
};

}  // namespace

WebKitEngineConfiguration WebKitEngineConfiguration::forAppHome(
    const std::filesystem::path& appHome) {
  WebKitEngineConfiguration configuration;
  configuration.dataDirectory = appHome / "Library" / "WebKit";
  configuration.localStorageDirectory = appHome / "Library" / "Caches";
  configuration.cacheDirectory = appHome / "Library" / "Caches" / "WebKit";
  configuration.cookieFile = appHome / "Library" / "Cookies" / "Cookies.sqlite";
  return configuration;
}

WebKitEngineConfiguration WebKitEngineConfiguration::forCurrentApp() {
  return forAppHome(AppEnvironment::current()->appHome());
}

Result<std::shared_ptr<WebEngine>> makeWebKitEngine(
    const WebKitEngineConfiguration& configuration) {
  VKR_ASSERT_MAIN_THREAD();
  Status gtk = ui::gtk::initializeGtk();
  if (!gtk.ok()) return gtk.error();
  return std::shared_ptr<WebEngine>(std::make_shared<WebKitEngine>(configuration));
}

}  // namespace platform::web
