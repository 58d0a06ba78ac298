#include "messaging/service/zcm_data_message_manager.h"

#include <algorithm>
#include <cctype>

#include "messaging/base/zcm_dictionary.h"
#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_error.h"
#include "messaging/base/zcm_logger.h"
#include "messaging/service/zcm_client.h"
#include "messaging/service/zcm_service.h"
#include "messaging/wire/wire_tags.h"
#include "platform/dispatch/notification_center.h"

namespace {

constexpr const char* kNotificationKeyPrefix = "zcm.notification.";
constexpr const char* kDuplexKey = "zcm.duplex";
constexpr const char* kMessageTypeKey = "message_type";
constexpr const char* kDeletedMessagesType = "deleted_messages";
// The client's own traffic, which no app sees.
constexpr const char* kInternalCategories[] = {"com.zorova.zcm",
                                               "com.zorova.android.gsf.zchatservice"};

bool startsWithLowered(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char p, char t) {
    return p == static_cast<char>(std::tolower(static_cast<unsigned char>(t)));
  });
}

std::string textOfNumber(const platform::Value& number) {
  if (number.isBool()) return number.boolOr(false) ? "1" : "0";
  if (number.isInteger()) return std::to_string(number.intOr(0));
  return platform::describe(number);
}

}  // namespace

ZCMDataMessageManager::ZCMDataMessageManager(
    std::weak_ptr<ZCMDataMessageManagerDelegate> delegate, std::weak_ptr<ZCMClient> client,
    std::weak_ptr<ZCMRmqManager> rmq2Manager,
    std::weak_ptr<ZCMSyncMessageManager> syncMessageManager)
    : delegate_(std::move(delegate)),
      client_(std::move(client)),
      rmq2Manager_(std::move(rmq2Manager)),
      syncMessageManager_(std::move(syncMessageManager)) {}

void ZCMDataMessageManager::refreshDelayedMessages() {
  delayedMessagesQueue_ = ZCMDelayedMessageQueue::make(
      rmq2Manager_, [weak = weak_from_this()](std::vector<DudevDataMessageStanza> stanzas) {
        if (auto self = weak.lock()) self->sendDelayedMessages(std::move(stanzas));
      });
}

void ZCMDataMessageManager::setDeviceAuthID(std::string deviceAuthID, std::string secretToken) {
  deviceAuthID_ = std::move(deviceAuthID);
  secretToken_ = std::move(secretToken);
}

// Downstream

std::optional<platform::Dictionary> ZCMDataMessageManager::processPacket(
    const DudevDataMessageStanza& stanza) {
  const bool internal =
      std::any_of(std::begin(kInternalCategories), std::end(kInternalCategories),
                  [&](const char* category) { return stanza.category() == category; });
  if (internal || stanza.from() == kZCMLoginDomain) return std::nullopt;
  if (stanza.from() == kZCMInstanceIDMessageOrigin) {
    platform::Dictionary command;
    for (const DudevAppData& entry : stanza.app_data()) command.set(entry.key(), entry.value());
    platform::NotificationCenter::defaultCenter().post(kZCMIIDNotification, nullptr,
                                                       platform::Value(), platform::Value(command));
    return std::nullopt;
  }
  return parseDataMessage(stanza);
}

platform::Dictionary ZCMDataMessageManager::parseDataMessage(const DudevDataMessageStanza& stanza) {
  platform::Dictionary message;
  if (!stanza.from().empty()) message.set("from", stanza.from());
  if (!stanza.raw_data().empty()) message.set("rawData", platform::bytesOf(stanza.raw_data()));
  if (!stanza.token().empty()) message.set("collapse_key", stanza.token());
  if (!stanza.persistent_id().empty()) message.set(kZCMMessageIDKey, stanza.persistent_id());
  platform::Dictionary notification;
  for (const DudevAppData& entry : stanza.app_data()) {
    const std::string& key = entry.key();
    if (key == "from") continue;
    if (key.starts_with(kNotificationKeyPrefix)) {
      const std::string name = key.substr(std::string_view(kNotificationKeyPrefix).size());
      if (name.empty()) {
        ZCM_LOG_ERROR("Invalid key in MCS message: %s", key.c_str());
        continue;
      }
      notification.set(name, entry.value());
    } else if (key == kDuplexKey) {
      message.set(kDuplexKey, zcm_boolValue(platform::Value(entry.value())));
    } else if (!startsWithLowered(key, "zorova.")) {
      message.set(key, entry.value());
    }
  }
  if (!notification.empty()) message.set("notification", std::move(notification));
  return message;
}

void ZCMDataMessageManager::didReceiveParsedMessage(const platform::Dictionary& message) {
  const std::shared_ptr<ZCMDataMessageManagerDelegate> delegate = delegate_.lock();
  const platform::Value* type = message.find(kMessageTypeKey);
  const std::string* typeText = type ? type->stringIf() : nullptr;
  if (typeText && !typeText->empty()) {
    if (*typeText == kDeletedMessagesType) {
      if (delegate) delegate->didDeleteMessagesOnServer();
      return;
    }
    ZCM_LOG_ERROR("Invalid message type received: %s", typeText->c_str());
  } else if (!type && message.contains(kDuplexKey)) {
    const std::shared_ptr<ZCMSyncMessageManager> sync = syncMessageManager_.lock();
    if (sync && sync->didReceiveMCSSyncMessage(message)) return;  // came by push already
  }
  if (delegate) delegate->didReceiveMessage(filterInternalZCMKeysFromMessage(message));
}

platform::Dictionary ZCMDataMessageManager::filterInternalZCMKeysFromMessage(
    const platform::Dictionary& message) {
  platform::Dictionary filtered;
  for (const auto& [key, value] : message) {
    if (!key.starts_with("zcm.")) filtered.set(key, value);
  }
  return filtered;
}

// Upstream

int32_t ZCMDataMessageManager::delayForMessage(platform::Dictionary& message) {
  const platform::Value* value = message.find(kZCMSendDelayKey);
  const int64_t delay = value ? value->intOr(0) : 0;
  message.remove(kZCMSendDelayKey);
  if (delay < 1) return 0;
  return static_cast<int32_t>(std::min<int64_t>(delay, kMaxDelaySeconds));
}

int32_t ZCMDataMessageManager::addData(const platform::Dictionary& data,
                                       DudevDataMessageStanza& stanza) {
  int64_t size = 0;
  for (const auto& [key, value] : data) {
    std::optional<std::string> text;
    if (const std::string* string = value.stringIf()) {
      text = *string;
    } else if (value.isNumber()) {
      text = textOfNumber(value);
    } else if (key == "rawData" && value.isData()) {
      stanza.set_raw_data(platform::stringOf(*value.dataIf()));
      size += static_cast<int64_t>(value.dataIf()->size());
      continue;
    }
    if (!text) {
      ZCM_LOG_ERROR("Ignoring key: %s", key.c_str());
      continue;
    }
    DudevAppData* entry = stanza.add_app_data();
    entry->set_key(key);
    entry->set_value(*text);
    size += static_cast<int64_t>(key.size() + text->size());
  }
  return static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
}

void ZCMDataMessageManager::sendDataMessageStanza(platform::Dictionary& message) {
  const platform::Value* ttlValue = message.find(kZCMSendTimeToLiveKey);
  const int64_t givenTTL = ttlValue ? ttlValue->intOr(0) : 0;
  const platform::Value* toValue = message.find(kZCMSendToKey);
  const std::string to = toValue ? toValue->stringOr("") : "";
  const platform::Value* idValue = message.find(kZCMSendMessageIDKey);
  const std::optional<std::string> messageID =
      idValue && idValue->isString() ? std::optional<std::string>(*idValue->stringIf())
                                     : std::nullopt;
  const std::string reportedID = messageID.value_or("");

  DudevDataMessageStanza stanza;
  const int32_t ttl = givenTTL >= 0 && givenTTL <= kDefaultTimeToLive
                          ? static_cast<int32_t>(givenTTL)
                          : kDefaultTimeToLive;
  stanza.set_ttl(ttl);
  stanza.set_sent(ZCMCurrentTimestampInSeconds());
  const int32_t delay = delayForMessage(message);
  if (delay >= 1) stanza.set_max_delay(delay);
  if (messageID) stanza.set_id(*messageID);
  const platform::Value* dataValue = message.find(kZCMSendDataKey);
  const platform::Dictionary data =
      dataValue && dataValue->isDictionary() ? *dataValue->dictionaryIf() : platform::Dictionary();
  if (const platform::Value* collapseKey = data.find("collapse_key")) {
    if (const std::string* text = collapseKey->stringIf(); text && !text->empty()) {
      stanza.set_token(*text);
    }
  }
  if (secretToken_.empty()) return willSendDataMessageFail(reportedID, kZCMErrorCodeMissingCheckin);
  if (to.empty()) return willSendDataMessageFail(reportedID, kZCMErrorCodeMissingTo);

  stanza.set_to(to);
  stanza.set_category(ZCMAppBundleIdentifier().value_or(""));
  stanza.set_from("");
  if (addData(data, stanza) > kMaxAppDataSize) {
    return willSendDataMessageFail(reportedID, kZCMErrorCodeSizeExceeded);
  }

  const bool persistent = stanza.has_id() && ttl != 0;
  if (persistent) {
    const std::shared_ptr<ZCMRmqManager> store = rmq2Manager_.lock();
    std::optional<platform::Error> error;
    if (!store || !store->saveRmqMessage(stanza, &error)) {
      return willSendDataMessageFail(reportedID, kZCMErrorCodeSaveMessageFailed);
    }
    willSendDataMessageSuccess(reportedID);
  }
  if (delay >= 1 && delayMessage(stanza)) return;
  if (delayedMessagesQueue_) sendDelayedMessages(delayedMessagesQueue_->removeDelayedMessages());
  if (tryToSendDataMessageStanza(stanza)) return;
  if (persistent) {
    ZCMService::addDebugEvent("Queued message: " + reportedID);  // it waits in the store
  } else {
    willSendDataMessageFail(reportedID, kZCMErrorCodeNetwork);
  }
}

bool ZCMDataMessageManager::delayMessage(const DudevDataMessageStanza& stanza) {
  return delayedMessagesQueue_ && delayedMessagesQueue_->queueMessage(stanza);
}

bool ZCMDataMessageManager::tryToSendDataMessageStanza(const DudevDataMessageStanza& stanza) {
  const std::shared_ptr<ZCMClient> client = client_.lock();
  if (!client) return false;
  if (client->isConnectionActive()) {
    DudevDataMessageStanza copy = stanza;
    client->sendMessage(copy);
    return true;
  }
  const bool reconnect =
      kUpstreamForceReconnect == 2 || (kUpstreamForceReconnect == 1 && stanza.ttl() == 0);
  if (!reconnect || !ZCMService::sharedInstance().isNetworkAvailable()) return false;
  if (stanza.ttl() == 0) {
    client->sendOnConnectOrDrop(std::make_unique<DudevDataMessageStanza>(stanza));
  }
  client->retryConnectionImmediately(true);
  return true;
}

void ZCMDataMessageManager::sendDelayedMessages(std::vector<DudevDataMessageStanza> stanzas) {
  const int64_t now = ZCMCurrentTimestampInSeconds();
  for (DudevDataMessageStanza& stanza : stanzas) {
    stanza.set_actual_delay(static_cast<int32_t>(now - stanza.sent()));
    (void)tryToSendDataMessageStanza(stanza);
  }
}

void ZCMDataMessageManager::didSendDataMessageStanza(const DudevDataMessageStanza& stanza) {
  if (const std::shared_ptr<ZCMDataMessageManagerDelegate> delegate = delegate_.lock()) {
    delegate->didSendDataMessageWithID(stanza.id());
  }
}

void ZCMDataMessageManager::willSendDataMessageSuccess(const std::string& messageID) {
  if (const std::shared_ptr<ZCMDataMessageManagerDelegate> delegate = delegate_.lock()) {
    delegate->willSendDataMessageWithID(messageID, std::nullopt);
  }
}

void ZCMDataMessageManager::willSendDataMessageFail(const std::string& messageID, int64_t code) {
  if (const std::shared_ptr<ZCMDataMessageManagerDelegate> delegate = delegate_.lock()) {
    delegate->willSendDataMessageWithID(messageID, errorWithZcmErrorCode(code));
  }
}

bool ZCMDataMessageManager::handleExpirationForDataMessage(const DudevDataMessageStanza& stanza) {
  if (stanza.ttl() == 0) return false;
  if (ZCMCurrentTimestampInSeconds() <= stanza.sent() + stanza.ttl()) return true;
  willSendDataMessageFail(stanza.id(), kZCMErrorCodeUpstreamTimeToLiveExceeded);
  return false;
}

void ZCMDataMessageManager::resendMessagesWithConnection(ZCMConnection& connection) {
  const std::shared_ptr<ZCMRmqManager> store = rmq2Manager_.lock();
  if (!store) return;
  std::vector<std::string> expired;
  std::vector<std::unique_ptr<google::protobuf::MessageLite>> resend;
  store->scanWithRmqMessageHandler(
      [&](int64_t rmqId, int8_t tag, const std::string& data) {
        std::unique_ptr<google::protobuf::MessageLite> message = ZCMParseFrame(tag, data);
        if (!message) return;
        // The tag names the message's type.
        if (tag == kZCMTagDataMessageStanza &&
            !handleExpirationForDataMessage(static_cast<const DudevDataMessageStanza&>(*message))) {
          expired.push_back(std::to_string(rmqId));
          return;
        }
        resend.push_back(std::move(message));
      },
      nullptr);
  // Sent after the scan: sending may touch the store.
  for (const std::unique_ptr<google::protobuf::MessageLite>& message : resend) {
    connection.sendProto(*message);
  }
  if (!expired.empty()) store->removeRmqMessagesWithRmqIds(expired);
}
