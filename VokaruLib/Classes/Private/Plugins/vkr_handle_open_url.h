#pragma once

#include <memory>
#include <optional>
#include <string>

#include "VokaruLib/Classes/Public/vkr_plugin.h"

// Hands URLs the app is asked to open (and URLs the main web view declined) to the page's global
// function handleOpenURL, once the page has loaded and its "deviceready" event fired. A URL that
// comes before the first page load waits; a later one replaces it.
class VKRHandleOpenURL : public VKRPlugin {
 public:
  // The script that calls the page's handler; the URL goes in as a JSON string literal.
  static std::string openURLScript(const std::string& url);

  explicit VKRHandleOpenURL(std::shared_ptr<VKRWebViewEngineProtocol> engine);

  void pluginInitialize() override;
  void handleOpenURL(const platform::Notification& notification) override {
    applicationLaunchedWithUrl(notification);
  }
  void applicationLaunchedWithUrl(const platform::Notification& notification);
  void applicationPageDidLoad(const platform::Notification& notification);
  void processOpenUrl(const std::string& url, bool pageLoaded);

  const std::optional<std::string>& url() const { return url_; }
  bool pageLoaded() const { return pageLoaded_; }

 private:
  std::optional<std::string> url_;
  bool pageLoaded_ = false;
  platform::NotificationCenter::Observation pageLoadObservation_;
};
