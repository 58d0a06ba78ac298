#include "platform/ui/url_opener.h"

#include <gio/gio.h>

#include "platform/dispatch/queue.h"

namespace platform::ui {

namespace {

class SystemURLOpener final : public URLOpener {
 public:
  bool canOpenURL(const std::string& url) override {
    char* scheme = g_uri_parse_scheme(url.c_str());
    if (!scheme) return false;
    GAppInfo* handler = g_app_info_get_default_for_uri_scheme(scheme);
    g_free(scheme);
    if (!handler) return false;
    g_object_unref(handler);
    return true;
  }

  void openURL(const std::string& url, std::function<void(bool)> completion) override {
    if (!canOpenURL(url)) {
      if (completion) mainQueue()->async([completion] { completion(false); });
      return;
    }
    using Completion = std::function<void(bool)>;
    g_app_info_launch_default_for_uri_async(
        url.c_str(), nullptr, nullptr,
        [](GObject*, GAsyncResult* result, gpointer data) {
          std::unique_ptr<Completion> completion(static_cast<Completion*>(data));
          GError* error = nullptr;
          const bool opened = g_app_info_launch_default_for_uri_finish(result, &error);
          if (error) g_error_free(error);
          if (*completion) (*completion)(opened);
        },
        new Completion(std::move(completion)));
  }
};

}  // namespace

std::shared_ptr<URLOpener> makeSystemURLOpener() { return std::make_shared<SystemURLOpener>(); }

}  // namespace platform::ui
