#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Private/Plugins/vkr_whitelist.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "platform/foundation/xml_parser.h"

// Takes part in every navigation of the main web view with the rules of config.xml: a tapped link
// whose URL an "allow-intent" entry allows is handed to the system (another program opens it)
// and the web view stays; any other navigation goes on only when an "allow-navigation" entry (or
// the implicit "file://") allows it.
class VKRIntentAndNavigationFilter : public VKRPlugin, public platform::XMLParserDelegate {
 public:
  static constexpr const char* kIntentRejectionFormat =
      "ERROR External navigation rejected - <allow-intent> not set for url='%@'";
  static constexpr const char* kNavigationRejectionFormat =
      "ERROR Internal navigation rejected - <allow-navigation> not set for url='%@'";

  explicit VKRIntentAndNavigationFilter(std::shared_ptr<VKRWebViewEngineProtocol> engine);

  // Reads the rules from the controller's config.xml.
  void pluginInitialize() override;
  std::optional<bool> shouldOverrideLoadWithRequest(
      const platform::web::URLRequest& request,
      platform::web::NavigationType navigationType) override;

  void didStartElement(const std::string& name, const platform::XMLAttributes& attributes) override;

  const std::vector<std::string>& allowIntents() const { return allowIntents_; }
  const std::vector<std::string>& allowNavigations() const { return allowNavigations_; }

 private:
  void buildWhitelists();

  std::vector<std::string> allowIntents_;
  std::vector<std::string> allowNavigations_{"file://"};
  std::optional<VKRWhitelist> allowIntentsWhitelist_;
  std::optional<VKRWhitelist> allowNavigationsWhitelist_;
};
