#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/foundation/xml_parser.h"

// Reads config.xml: the plugin map (lower-cased service name to class name), the plugins to start
// at launch, the preferences (lower-cased name to value) and the start page. Elements it does not
// know (the navigation rules among them) are left to other readers.
class VKRConfigParser : public platform::XMLParserDelegate {
 public:
  void didStartElement(const std::string& name, const platform::XMLAttributes& attributes) override;
  void didEndElement(const std::string& name) override;

  const platform::Dictionary& pluginsDict() const { return pluginsDict_; }
  const platform::Dictionary& settings() const { return settings_; }
  const std::optional<std::string>& startPage() const { return startPage_; }
  // In file order; a feature with two qualifying params is listed twice.
  const std::vector<std::string>& startupPluginNames() const { return startupPluginNames_; }

 private:
  std::optional<std::string> featureName_;
  platform::Dictionary pluginsDict_;
  platform::Dictionary settings_;
  std::optional<std::string> startPage_;
  std::vector<std::string> startupPluginNames_;
};
