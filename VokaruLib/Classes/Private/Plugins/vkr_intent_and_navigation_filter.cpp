#include "VokaruLib/Classes/Private/Plugins/vkr_intent_and_navigation_filter.h"

#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/foundation/log.h"
#include "platform/ui/application.h"

VKRIntentAndNavigationFilter::VKRIntentAndNavigationFilter(
    std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {}

void VKRIntentAndNavigationFilter::pluginInitialize() {
  std::shared_ptr<VKRViewController> controller = viewController();
  if (!controller) return;
  allowNavigations_ = {"file://"};
  allowIntents_.clear();
  platform::Status parsed = controller->parseSettingsWithParser(*this);
  if (!parsed.ok()) {
    // config.xml read once already; should it fail now, only the defaults hold.
    platform::log(parsed.error().localizedDescription());
    allowNavigations_ = {"file://"};
    allowIntents_.clear();
  }
  buildWhitelists();
}

void VKRIntentAndNavigationFilter::didStartElement(const std::string& name,
                                                   const platform::XMLAttributes& attributes) {
  auto href = attributes.find("href");
  if (href == attributes.end()) return;
  if (name == "allow-navigation") allowNavigations_.push_back(href->second);
  if (name == "allow-intent") allowIntents_.push_back(href->second);
}

void VKRIntentAndNavigationFilter::buildWhitelists() {
  allowIntentsWhitelist_.emplace(allowIntents_);
  allowIntentsWhitelist_->setWhitelistRejectionFormatString(kIntentRejectionFormat);
  allowNavigationsWhitelist_.emplace(allowNavigations_);
  allowNavigationsWhitelist_->setWhitelistRejectionFormatString(kNavigationRejectionFormat);
}

std::optional<bool> VKRIntentAndNavigationFilter::shouldOverrideLoadWithRequest(
    const platform::web::URLRequest& request, platform::web::NavigationType navigationType) {
  if (!allowNavigationsWhitelist_) buildWhitelists();
  platform::Result<platform::URL> url = platform::URL::parse(request.url);
  if (!url.ok()) return false;
  if (navigationType == platform::web::NavigationType::LinkClicked &&
      allowIntentsWhitelist_->URLIsAllowed(*url)) {
    platform::ui::Application::shared().openURL(url->absoluteString());
    return false;
  }
  return allowNavigationsWhitelist_->URLIsAllowed(*url);
}
