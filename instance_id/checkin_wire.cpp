#include "instance_id/checkin_wire.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "platform/foundation/json.h"
#include "platform/foundation/text_number.h"

namespace {

using ordered_json = nlohmann::ordered_json;

// The text's leading decimal number, kept exact over the whole unsigned 64-bit range.
ordered_json integerOfText(const std::string& text) {
  uint64_t unsignedValue = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), unsignedValue);
  if (error == std::errc() && unsignedValue > static_cast<uint64_t>(INT64_MAX)) {
    return unsignedValue;
  }
  return platform::integerValueOfText(text);
}

// A 64-bit integer as its decimal text; "" for anything else (a fraction, or a number beyond 64
// bits, is no credential).
std::string decimalText(const nlohmann::json& value) {
  if (value.is_number_unsigned()) return std::to_string(value.get<uint64_t>());
  if (value.is_number_integer()) return std::to_string(value.get<int64_t>());
  return "";
}

}  // namespace

std::string VIZInstanceIDCheckinRequestJSON(const VIZInstanceIDCheckinRequest& request) {
  ordered_json checkin = {
      {"iosbuild", {{"model", request.model}, {"os_version", "IOS_" + request.osVersion}}},
      {"type", 2},
      {"user_number", 0},
      {"last_checkin_msec", request.lastCheckinTimestampMillis},
  };
  ordered_json body = {
      {"checkin", checkin},
      {"fragment", 0},
      {"logging_id", request.loggingID},
      {"locale", request.locale},
      {"version", 2},
      {"digest", request.digest},
      {"timezone", request.timeZone},
      {"user_serial_number", 0},
      {"id", integerOfText(request.deviceID)},
      {"security_token", integerOfText(request.secretToken)},
  };
  return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

platform::Result<VIZInstanceIDCheckinReply> VIZInstanceIDParseCheckinReply(std::string_view body) {
  platform::Result<platform::Value> parsed = platform::parseJSON(body);
  if (!parsed.ok()) return parsed.error();
  VIZInstanceIDCheckinReply reply;
  const platform::Value& object = *parsed;
  if (!object.isDictionary()) return reply;

  // The ids again, from a parser that keeps unsigned 64-bit numbers exact.
  const nlohmann::json exact = nlohmann::json::parse(body, nullptr, false);
  if (exact.is_object()) {
    if (auto id = exact.find("android_id"); id != exact.end()) reply.deviceID = decimalText(*id);
    if (auto token = exact.find("security_token"); token != exact.end()) {
      reply.secretToken = decimalText(*token);
    }
  }
  if (object["time_msec"].isNumber()) reply.timeMillis = object["time_msec"].intOr(0);
  reply.digest = object["digest"].stringOr("");
  reply.versionInfo = object["version_info"].stringOr("");
  if (const platform::Value::Array* settings = object["setting"].arrayIf()) {
    for (const platform::Value& setting : *settings) {
      const platform::Value& name = setting["name"];
      const platform::Value& value = setting["value"];
      if (name.isString() && !value.isNull()) reply.settings.set(*name.stringIf(), value);
    }
  }
  return reply;
}
