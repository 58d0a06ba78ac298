#include "instance_id/registration_wire.h"

#include <vector>

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"
#include "platform/foundation/percent_encoding.h"

void VIZInstanceIDFormBody::add(std::string_view name, std::string_view value) {
  if (!text_.empty()) text_ += "&";
  text_ += name;
  text_ += "=";
  text_ += platform::percentEncode(value, platform::kURLQueryValueAllowed);
}

std::map<std::string, std::string, std::less<>> VIZInstanceIDParseRegistrationReply(
    std::string_view body) {
  std::map<std::string, std::string, std::less<>> entries;
  for (const std::string& line : VIZInstanceIDSplit(body, "\n")) {
    std::vector<std::string> parts = VIZInstanceIDSplit(line, "=");
    if (parts.size() < 2) {
      VIZ_IID_LOG_ERROR("Unexpected result %s", line.c_str());
      continue;
    }
    entries[parts[0]] = parts[1];
  }
  return entries;
}

VIZInstanceIDTokenReply VIZInstanceIDParseTokenValue(const std::string& value, uint64_t requestID) {
  VIZInstanceIDTokenReply reply;
  if (!value.empty() && value.front() == '|') {
    std::vector<std::string> parts = VIZInstanceIDSplit(value, "|");
    if (parts[1] != "ID")
      VIZ_IID_LOG_ERROR("Unexpected token structure in response %s", value.c_str());
    if (parts.size() < 5) return reply;
    if (parts[3] == "SYNC") {
      reply.command = VIZInstanceIDTokenReply::Command::Sync;
    } else if (parts[3] == "RST") {
      reply.command = VIZInstanceIDTokenReply::Command::Reset;
    }
    std::string token = parts.back();
    if (!token.empty() && token.front() == ':') token.erase(0, 1);
    reply.token = std::move(token);
    return reply;
  }
  VIZ_IID_LOG_INFO("InstanceID response token in old format");
  const std::string prefix = std::to_string(requestID) + ":";
  reply.token = value.compare(0, prefix.size(), prefix) == 0 ? value.substr(prefix.size()) : value;
  return reply;
}
