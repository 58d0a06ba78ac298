#include "VokaruLib/Classes/Public/vkr_json.h"

#include "platform/foundation/json.h"
#include "platform/foundation/log.h"

using platform::Value;

namespace {

std::optional<std::string> write(const Value& value, bool pretty, const char* failureFormat) {
  platform::Result<std::string> json = platform::toJSON(value, {.pretty = pretty});
  if (json.ok()) return std::move(json).value();
  platform::logf(failureFormat, json.error().description().c_str());
  return std::nullopt;
}

std::optional<Value> read(std::string_view text, bool allowFragments) {
  platform::Result<Value> value = platform::parseJSON(text, {.allowFragments = allowFragments});
  if (value.ok()) return std::move(value).value();
  platform::logf("NSString JSONObject error: %s", value.error().description().c_str());
  return std::nullopt;
}

}  // namespace

std::optional<std::string> vkr_JSONString(const Value::Array& array) {
  return write(Value(array), false, "NSArray JSONString error: %s");
}

std::optional<std::string> vkr_JSONString(const platform::Dictionary& dictionary) {
  return write(Value(dictionary), true, "NSDictionary JSONString error: %s");
}

std::optional<Value> vkr_JSONObject(std::string_view text) { return read(text, false); }

std::optional<Value> vkr_JSONFragment(std::string_view text) { return read(text, true); }
