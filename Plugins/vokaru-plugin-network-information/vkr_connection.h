#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Plugins/vokaru-plugin-network-information/vkr_reachability.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"

// The plugin behind the page's network information (service "NetworkStatus"): the current
// connection type ("none", "wifi", "2g", "3g", "4g", "cellular" or "unknown") on the page's
// request, and every change of it afterwards to the same callback. Main thread only.
class VKRConnection : public VKRPlugin {
 public:
  explicit VKRConnection(std::shared_ptr<VKRWebViewEngineProtocol> engine);

  void pluginInitialize() override;

  const std::string& connectionType() const { return connectionType_; }
  static std::string w3cConnectionTypeFor(const VKRReachability& reachability);
  static bool isCellularConnection(const std::string& type);

  // Sends the connection type to the kept callback.
  void sendPluginResult();
  // Sends the type of the reachability when it changed (always without one).
  void updateReachability(const std::shared_ptr<VKRReachability>& reachability);
  void updateConnectionType(const platform::Notification& notification);
  void onPause();
  void onResume();

 private:
  void getConnectionInfo(const VKRInvokedUrlCommand& command);

  std::string connectionType_ = "none";
  std::shared_ptr<VKRReachability> internetReach_;
  std::optional<std::string> callbackId_;
  std::vector<platform::NotificationCenter::Observation> observations_;
};
