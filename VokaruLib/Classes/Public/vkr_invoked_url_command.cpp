#include "VokaruLib/Classes/Public/vkr_invoked_url_command.h"

#include "platform/foundation/base64.h"

using platform::Value;

namespace {

// An undecodable "data" keeps the argument as it came, so the command still runs.
void decodeArrayBuffers(Value::Array& arguments) {
  for (Value& argument : arguments) {
    if (!argument.isDictionary()) continue;
    const std::string* type = argument["VKRType"].stringIf();
    if (!type || *type != "ArrayBuffer") continue;
    const std::string* data = argument["data"].stringIf();
    if (!data) continue;
    if (std::optional<platform::Bytes> bytes = platform::base64Decode(*data)) {
      argument = Value(std::move(*bytes));
    }
  }
}

bool isOfClass(const Value& value, VKRInvokedUrlCommand::ArgumentClass argumentClass) {
  switch (argumentClass) {
    case VKRInvokedUrlCommand::ArgumentClass::String:
      return value.isString();
    case VKRInvokedUrlCommand::ArgumentClass::Number:
      return value.isNumber();
    case VKRInvokedUrlCommand::ArgumentClass::Array:
      return value.isArray();
    case VKRInvokedUrlCommand::ArgumentClass::Dictionary:
      return value.isDictionary();
    case VKRInvokedUrlCommand::ArgumentClass::Data:
      return value.isData();
  }
  return false;
}

platform::Error malformed(const char* reason) {
  return platform::Error::withDescription(kVKRCommandErrorDomain, 1,
                                          std::string("Malformed command entry: ") + reason);
}

}  // namespace

platform::Result<VKRInvokedUrlCommand> VKRInvokedUrlCommand::commandFromJson(Value entry) {
  Value::Array* items = entry.arrayIf();
  if (!items) return malformed("not an array");
  if (items->size() != 4) return malformed("not four elements");
  Value& callbackId = (*items)[0];
  if (!callbackId.isNull() && !callbackId.isString()) {
    return malformed("callback id is neither text nor null");
  }
  if (!(*items)[1].isString() || !(*items)[2].isString()) {
    return malformed("service or action is not text");
  }
  if (!(*items)[3].isArray()) return malformed("arguments are not an array");
  std::optional<std::string> id;
  if (callbackId.isString()) id = std::move(*callbackId.stringIf());
  return VKRInvokedUrlCommand(std::move(*(*items)[3].arrayIf()), std::move(id),
                              std::move(*(*items)[1].stringIf()),
                              std::move(*(*items)[2].stringIf()));
}

VKRInvokedUrlCommand::VKRInvokedUrlCommand(Value::Array arguments,
                                           std::optional<std::string> callbackId,
                                           std::string className, std::string methodName)
    : arguments_(std::move(arguments)),
      callbackId_(std::move(callbackId)),
      className_(std::move(className)),
      methodName_(std::move(methodName)) {
  decodeArrayBuffers(arguments_);
}

const Value& VKRInvokedUrlCommand::argumentAtIndex(size_t index) const {
  static const Value kNull;
  return index < arguments_.size() ? arguments_[index] : kNull;
}

Value VKRInvokedUrlCommand::argumentAtIndex(size_t index, Value defaultValue) const {
  const Value& argument = argumentAtIndex(index);
  return argument.isNull() ? defaultValue : argument;
}

Value VKRInvokedUrlCommand::argumentAtIndex(size_t index, Value defaultValue,
                                            ArgumentClass argumentClass) const {
  const Value& argument = argumentAtIndex(index);
  if (argument.isNull() || !isOfClass(argument, argumentClass)) return defaultValue;
  return argument;
}
