#include "VokaruLib/Classes/Public/vkr_plugin_result.h"

#include <array>

#include "platform/foundation/base64.h"
#include "platform/foundation/json.h"
#include "platform/foundation/log.h"

using platform::Value;

namespace {
constexpr std::array<const char*, 10> kStatusTexts = {
    "No result",     "OK",       "Class not found", "Illegal access", "Instantiation error",
    "Malformed url", "IO error", "Invalid action",  "JSON error",     "Error"};
}  // namespace

Value vkrArrayBufferMessage(const platform::Bytes& bytes) {
  return Value::dictionary({{"VKRType", "ArrayBuffer"}, {"data", platform::base64Encode(bytes)}});
}

VKRPluginResult::VKRPluginResult(int32_t status, Value message)
    : status_(status), message_(std::move(message)) {}

const char* VKRPluginResult::statusText(int32_t status) {
  if (status < 0 || static_cast<size_t>(status) >= kStatusTexts.size()) return "";
  return kStatusTexts[static_cast<size_t>(status)];
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status) { return {status, Value()}; }

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status, std::string messageAsString) {
  return {status, Value(std::move(messageAsString))};
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status, const char* messageAsString) {
  return {status, messageAsString ? Value(messageAsString) : Value()};
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status, Value::Array messageAsArray) {
  return {status, Value(std::move(messageAsArray))};
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status,
                                                  platform::Dictionary messageAsDictionary) {
  return {status, Value(std::move(messageAsDictionary))};
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status, int32_t messageAsInt) {
  return {status, Value(messageAsInt)};
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status, int64_t messageAsNSInteger) {
  return {status, Value(messageAsNSInteger)};
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status, uint64_t messageAsNSUInteger) {
  return {status, Value(messageAsNSUInteger)};
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status, double messageAsDouble) {
  return {status, Value(messageAsDouble)};
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status, bool messageAsBool) {
  return {status, Value(messageAsBool)};
}

VKRPluginResult VKRPluginResult::resultWithStatus(int32_t status,
                                                  const platform::Bytes& messageAsArrayBuffer) {
  return {status, vkrArrayBufferMessage(messageAsArrayBuffer)};
}

VKRPluginResult VKRPluginResult::resultWithStatusMessageAsMultipart(int32_t status,
                                                                    const Value::Array& parts) {
  Value::Array messages;
  messages.reserve(parts.size());
  for (const Value& part : parts) {
    messages.push_back(part.isData() ? vkrArrayBufferMessage(*part.dataIf()) : part);
  }
  return {status,
          Value::dictionary({{"VKRType", "MultiPart"}, {"messages", Value(std::move(messages))}})};
}

VKRPluginResult VKRPluginResult::resultWithStatusMessageToErrorObject(int32_t status,
                                                                      int32_t errorCode) {
  return {status, Value::dictionary({{"code", errorCode}})};
}

std::string VKRPluginResult::argumentsAsJSON() const {
  // The text of a one-element array without its brackets is exactly the message's own text.
  platform::Result<std::string> json = platform::toJSON(message_);
  if (json.ok()) return std::move(json).value();
  platform::logf("NSArray JSONString error: %s", json.error().description().c_str());
  return "null";
}
