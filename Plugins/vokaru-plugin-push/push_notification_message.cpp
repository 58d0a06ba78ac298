#include "Plugins/vokaru-plugin-push/push_notification_message.h"

#include <algorithm>
#include <string_view>

#include "platform/foundation/log.h"

namespace {

void readAlert(const platform::Value& alert, platform::Dictionary& message,
               platform::Dictionary& additionalData) {
  const platform::Dictionary* fields = alert.dictionaryIf();
  if (!fields) {
    message.set("message", alert);
    return;
  }
  for (const auto& [key, value] : *fields) {
    if (key == "body") {
      message.set("message", value);
    } else if (key == "title") {
      message.set("title", value);
    } else {
      additionalData.set(key, value);
    }
  }
}

void readAps(const platform::Dictionary& aps, platform::Dictionary& message,
             platform::Dictionary& additionalData) {
  static constexpr std::pair<std::string_view, const char*> kRenamed[] = {
      {"title", "title"}, {"badge", "count"}, {"sound", "sound"}, {"image", "image"}};
  for (const auto& entry : aps) {
    const std::string& key = entry.first;
    const platform::Value& value = entry.second;
    platform::logf("Push Plugin key: %s", key.c_str());
    if (key == "alert") {
      readAlert(value, message, additionalData);
      continue;
    }
    const auto* renamed = std::find_if(std::begin(kRenamed), std::end(kRenamed),
                                       [&](const auto& renaming) { return renaming.first == key; });
    if (renamed != std::end(kRenamed)) {
      message.set(renamed->second, value);
    } else {
      additionalData.set(key, value);
    }
  }
}

}  // namespace

platform::Dictionary pushNotificationMessage(const platform::Dictionary& payload, bool foreground,
                                             bool coldstart) {
  platform::Dictionary message;
  platform::Dictionary additionalData;
  for (const auto& [key, value] : payload) {
    const platform::Dictionary* aps = key == "aps" ? value.dictionaryIf() : nullptr;
    if (aps) {
      readAps(*aps, message, additionalData);
    } else {
      // Also an "aps" that is not a dictionary: it reaches the page as it came.
      additionalData.set(key, value);
    }
  }
  additionalData.set("foreground", platform::Value(foreground));
  additionalData.set("coldstart", platform::Value(coldstart));
  message.set("additionalData", platform::Value(std::move(additionalData)));
  return message;
}
