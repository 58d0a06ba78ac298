#include "messaging/testing/zcm_test_server.h"

#include <vector>

#include "messaging/wire/wire_tags.h"

ZCMTestServer::ZCMTestServer(Script script)
    : script_(std::move(script)), tls_([this](platform::testing::TLSServer::Connection& tls) {
        Session session(tls);
        script_(session);
      }) {}

int8_t ZCMTestServer::Session::tagOf(const google::protobuf::MessageLite& message) {
  return ZCMGetTagForProto(message);
}

bool ZCMTestServer::Session::readVersion() {
  const platform::Bytes version = tls_.read(1);
  return version.size() == 1 && version[0] == kZCMVersion;
}

std::optional<ZCMFrame> ZCMTestServer::Session::readFrame() {
  while (frames_.empty()) {
    const platform::Bytes bytes = tls_.readSome();
    if (bytes.empty()) return std::nullopt;
    std::vector<ZCMFrame> complete;
    const bool ok = reassembler_.feed(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &complete);
    frames_.insert(frames_.end(), complete.begin(), complete.end());
    if (!ok && frames_.empty()) return std::nullopt;
  }
  ZCMFrame next = std::move(frames_.front());
  frames_.pop_front();
  return next;
}

std::optional<DudevLoginRequest> ZCMTestServer::Session::acceptLogin() {
  if (!readVersion()) return std::nullopt;
  std::optional<DudevLoginRequest> login = expect<DudevLoginRequest>();
  if (!login) return std::nullopt;
  DudevLoginResponse response;
  response.set_id(login->id());
  if (!sendBytes(versionByte() + frameOf(response))) return std::nullopt;
  return login;
}

std::string ZCMTestServer::Session::versionByte() {
  return std::string(1, static_cast<char>(kZCMVersion));
}

std::string ZCMTestServer::Session::frameOf(const google::protobuf::MessageLite& message) {
  return ZCMEncodeFrame(message);
}

DudevDataMessageStanza ZCMTestDataMessage(
    const std::string& from, const std::string& category, const std::string& persistentId,
    const std::vector<std::pair<std::string, std::string>>& appData) {
  DudevDataMessageStanza message;
  message.set_from(from);
  message.set_category(category);
  if (!persistentId.empty()) message.set_persistent_id(persistentId);
  for (const auto& [key, value] : appData) {
    DudevAppData* entry = message.add_app_data();
    entry->set_key(key);
    entry->set_value(value);
  }
  return message;
}
