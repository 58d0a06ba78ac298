#include "Plugins/vokaru-plugin-network-information/vkr_connection.h"

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "platform/reachability/radio_access_technology.h"
#include "platform/ui/application.h"

VKR_REGISTER_PLUGIN(VKRConnection);

namespace {

std::string typeOfRadio(std::optional<platform::RadioAccessTechnology> technology) {
  using platform::RadioAccessTechnology;
  if (!technology) return "cellular";
  switch (*technology) {
    case RadioAccessTechnology::GPRS:
    case RadioAccessTechnology::Edge:
      return "2g";
    case RadioAccessTechnology::WCDMA:
    case RadioAccessTechnology::HSDPA:
    case RadioAccessTechnology::HSUPA:
    case RadioAccessTechnology::CDMA1x:
    case RadioAccessTechnology::CDMAEVDORev0:
    case RadioAccessTechnology::CDMAEVDORevA:
    case RadioAccessTechnology::CDMAEVDORevB:
    case RadioAccessTechnology::EHRPD:
      return "3g";
    case RadioAccessTechnology::LTE:
      return "4g";
    case RadioAccessTechnology::Other:
      break;
  }
  return "cellular";
}

}  // namespace

VKRConnection::VKRConnection(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("getConnectionInfo", &VKRConnection::getConnectionInfo);
}

void VKRConnection::pluginInitialize() {
  connectionType_ = "none";
  internetReach_ = VKRReachability::reachabilityForInternetConnection();
  connectionType_ = w3cConnectionTypeFor(*internetReach_);
  internetReach_->startNotifier();
  auto& center = platform::NotificationCenter::defaultCenter();
  const auto update = [this](const platform::Notification& n) { updateConnectionType(n); };
  observations_.push_back(
      center.addObserver(kNetworkReachabilityChangedNotification, nullptr, update));
  // A change of radio alone (3G to LTE) carries no reachability: the page hears it at once.
  observations_.push_back(center.addObserver(
      platform::kRadioAccessTechnologyDidChangeNotification, nullptr,
      [this](const platform::Notification&) { updateReachability(internetReach_); }));
  observations_.push_back(
      center.addObserver(platform::ui::kApplicationDidEnterBackgroundNotification, nullptr,
                         [this](const platform::Notification&) { onPause(); }));
  observations_.push_back(
      center.addObserver(platform::ui::kApplicationWillEnterForegroundNotification, nullptr,
                         [this](const platform::Notification&) { onResume(); }));
}

void VKRConnection::getConnectionInfo(const VKRInvokedUrlCommand& command) {
  callbackId_ = command.callbackId();
  sendPluginResult();
}

void VKRConnection::sendPluginResult() {
  VKRPluginResult result = VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, connectionType_);
  result.setKeepCallback(true);
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    delegate->sendPluginResult(result, callbackId_);
  }
}

std::string VKRConnection::w3cConnectionTypeFor(const VKRReachability& reachability) {
  switch (reachability.currentReachabilityStatus()) {
    case kVKRReachableViaWiFi:
      return "wifi";
    case kVKRNotReachable:
      return "none";
    case kVKRReachableViaWWAN:
      if (reachability.connectionRequired()) return "none";
      return typeOfRadio(platform::currentRadioAccessTechnology());
  }
  return "unknown";
}

bool VKRConnection::isCellularConnection(const std::string& type) {
  return type == "2g" || type == "3g" || type == "4g" || type == "cellular";
}

void VKRConnection::updateReachability(const std::shared_ptr<VKRReachability>& reachability) {
  if (reachability) {
    std::string type = w3cConnectionTypeFor(*reachability);
    if (type == connectionType_) return;
    connectionType_ = std::move(type);
  }
  sendPluginResult();
}

void VKRConnection::updateConnectionType(const platform::Notification& notification) {
  if (const auto* reachability = notification.objectAs<std::shared_ptr<VKRReachability>>()) {
    updateReachability(*reachability);
  }
}

void VKRConnection::onPause() { internetReach_->stopNotifier(); }

void VKRConnection::onResume() {
  internetReach_->startNotifier();
  updateReachability(internetReach_);
}
