#include "VokaruLib/Classes/Public/vkr_view_controller.h"

#include <fstream>
#include <iterator>

#include "VokaruLib/Classes/Public/vkr_command_delegate_impl.h"
#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_config_parser.h"
#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"
#include "VokaruLib/Classes/Public/vokaru_preferences.h"
#include "platform/foundation/log.h"
#include "platform/storage/bundle.h"

VKRViewController::VKRViewController() = default;

VKRViewController::~VKRViewController() {
  VKRUserAgentUtil::releaseLock(&userAgentLockToken_);
  if (commandQueue_) commandQueue_->dispose();
  for (const auto& [className, plugin] : pluginObjects_) plugin->dispose();
}

platform::Status VKRViewController::initialize() {
  if (initialized_) return platform::okStatus();
  commandQueue_ = std::make_shared<VKRCommandQueue>(weak_from_this());
  commandDelegate_ = std::make_shared<VKRCommandDelegateImpl>(shared_from_this());
  initialized_ = true;
  return loadSettings();
}

platform::Status VKRViewController::parseSettingsWithParser(platform::XMLParserDelegate& delegate) {
  std::optional<std::filesystem::path> path =
      platform::Bundle::mainBundle()->pathForResource("config", "xml");
  if (!path) {
    return platform::Error::withDescription(
        kVKRConfigErrorDomain, kVKRConfigMissing,
        "ERROR: config.xml does not exist. Please run vokaru-ios/bin/vokaru_plist_to_config_xml "
        "path/to/project.");
  }
  std::ifstream file(*path, std::ios::binary);
  std::string contents{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad() || !file.is_open()) {
    platform::log("Failed to initialize XML parser.");
    return platform::okStatus();
  }
  platform::XMLParser parser(delegate);
  platform::Status parsed = parser.parse(contents);
  if (parsed.ok()) return parsed;
  const platform::Value& info = parsed.error().userInfo();
  return platform::Error::withDescription(
      kVKRConfigErrorDomain, kVKRConfigParseError,
      platform::format("config.xml parse error line %ld col %ld",
                       static_cast<long>(info[platform::kXMLLineKey].intOr(0)),
                       static_cast<long>(info[platform::kXMLColumnKey].intOr(0))));
}

platform::Status VKRViewController::loadSettings() {
  VKRConfigParser parser;
  platform::Status parsed = parseSettingsWithParser(parser);
  if (!parsed.ok()) return parsed;
  pluginsMap_ = parser.pluginsDict();
  startupPluginNames_ = parser.startupPluginNames();
  {
    std::lock_guard lock(settingsMutex_);
    settings_ = parser.settings();
  }
  wwwFolderName_ = "www";
  startPage_ = parser.startPage().value_or("index.html");
  pluginObjects_.clear();
  return platform::okStatus();
}

platform::Dictionary VKRViewController::settings() const {
  std::lock_guard lock(settingsMutex_);
  return settings_;
}

const std::string& VKRViewController::userAgent() {
  if (userAgent_) return *userAgent_;
  const platform::Dictionary preferences = settings();
  std::string base;
  if (baseUserAgent_) {
    base = *baseUserAgent_;
  } else if (const platform::Value* override =
                 vokaruSettingForKey(preferences, "OverrideUserAgent")) {
    base = override->stringOr("");
  } else {
    base = VKRUserAgentUtil::originalUserAgent();
  }
  if (const platform::Value* append = vokaruSettingForKey(preferences, "AppendUserAgent")) {
    userAgent_ = base + " " + append->stringOr("");
  } else {
    userAgent_ = platform::format("%s (%lld)", base.c_str(),
                                  static_cast<long long>(reinterpret_cast<intptr_t>(this)));
  }
  return *userAgent_;
}

std::shared_ptr<VKRPlugin> VKRViewController::getCommandInstance(std::string_view pluginName) {
  const platform::Value* mapped = pluginsMap_.find(vkrLowercase(pluginName));
  const std::string* className = mapped ? mapped->stringIf() : nullptr;
  if (!className) return nullptr;
  if (auto it = pluginObjects_.find(*className); it != pluginObjects_.end()) return it->second;
  std::shared_ptr<VKRPlugin> plugin =
      VKRPluginRegistry::instance().create(*className, webViewEngine_);
  if (!plugin) {
    platform::logf("VKRPlugin class %s (pluginName: %.*s) does not exist.", className->c_str(),
                   static_cast<int>(pluginName.size()), pluginName.data());
    return nullptr;
  }
  registerPluginWithClassName(plugin, *className);
  return plugin;
}

void VKRViewController::registerPluginWithClassName(const std::shared_ptr<VKRPlugin>& plugin,
                                                    const std::string& className) {
  plugin->setViewController(weak_from_this());
  plugin->setCommandDelegate(commandDelegate_);
  pluginObjects_[className] = plugin;
  plugin->pluginInitialize();
}
