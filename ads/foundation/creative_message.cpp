#include "ads/foundation/creative_message.h"

#include "ads/foundation/url_additions.h"

bool ZADNotification::isNotificationURL(const platform::URL& url) { return url.scheme() == "zmsg"; }

std::optional<ZADNotification> ZADNotification::fromURL(const platform::URL& url) {
  if (!isNotificationURL(url)) return std::nullopt;
  const std::string path = url.path();
  if (path.empty()) return std::nullopt;
  return make(path.substr(1), zad_dictionaryFromQueryParameters(url, false));
}

std::optional<ZADNotification> ZADNotification::make(std::string name,
                                                     platform::Dictionary parameters) {
  if (name.empty()) return std::nullopt;
  return ZADNotification(std::move(name), std::move(parameters));
}

bool ZADZMSGHandler::handleRequest(const platform::URL& url,
                                   const std::shared_ptr<ZADAdView>& adView) {
  if (!ZADNotification::isNotificationURL(url)) return false;
  std::optional<ZADNotification> notification = ZADNotification::fromURL(url);
  return notification && handleNotification(*notification, adView);
}

bool ZADZMSGHandler::handleNotification(const ZADNotification& notification,
                                        const std::shared_ptr<ZADAdView>& adView) {
  const ActionTable* actions = actionBlockDictionary();
  if (!actions) return false;
  auto action = actions->find(notification.name());
  if (action == actions->end()) return false;
  if (shouldBufferNotification(notification, adView)) {
    bufferedNotifications_.emplace_back(notification, adView);
  } else {
    action->second(*this, adView, notification.parameters());
  }
  return true;
}

bool ZADZMSGHandler::shouldBufferNotification(const ZADNotification& notification,
                                              const std::shared_ptr<ZADAdView>& adView) {
  (void)notification, (void)adView;
  return false;
}

void ZADZMSGHandler::flushBuffer() {
  auto buffered = std::move(bufferedNotifications_);
  bufferedNotifications_.clear();
  for (const auto& [notification, adView] : buffered) handleNotification(notification, adView);
}

void ZADZMSGHandler::runSubAction(const ActionTable& subActions, std::string_view parameter,
                                  const std::shared_ptr<ZADAdView>& adView,
                                  const platform::Dictionary& parameters) {
  const platform::Value* name = parameters.find(parameter);
  if (!name || !name->stringIf()) return;
  auto action = subActions.find(*name->stringIf());
  if (action != subActions.end()) action->second(*this, adView, parameters);
}
