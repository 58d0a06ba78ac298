#pragma once

#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

inline constexpr const char* kVKRCommandErrorDomain = "VKRInvokedUrlCommand";

// One call from the page: which plugin (service), which action, the page's callback id (absent
// when the page wants no answer) and the arguments. Top-level ArrayBuffer arguments
// ({"VKRType":"ArrayBuffer","data":<base64>}) arrive decoded as bytes.
class VKRInvokedUrlCommand {
 public:
  // The kinds an argument can be asked to have; a number includes booleans, as on the platform.
  enum class ArgumentClass { String, Number, Array, Dictionary, Data };

  // A command from one entry of a page batch: [callback id or null, service, action, arguments].
  // An entry of another shape or with elements of the wrong types is an error.
  static platform::Result<VKRInvokedUrlCommand> commandFromJson(platform::Value entry);

  VKRInvokedUrlCommand(platform::Value::Array arguments, std::optional<std::string> callbackId,
                       std::string className, std::string methodName);

  const std::optional<std::string>& callbackId() const { return callbackId_; }
  // The service name as the page sent it.
  const std::string& className() const { return className_; }
  // The action name.
  const std::string& methodName() const { return methodName_; }
  const platform::Value::Array& arguments() const { return arguments_; }

  // The argument, or the default when the index is past the end, the argument is null, or a class
  // is given and the argument is not of it.
  const platform::Value& argumentAtIndex(size_t index) const;
  platform::Value argumentAtIndex(size_t index, platform::Value defaultValue) const;
  platform::Value argumentAtIndex(size_t index, platform::Value defaultValue,
                                  ArgumentClass argumentClass) const;

 private:
  platform::Value::Array arguments_;
  std::optional<std::string> callbackId_;
  std::string className_;
  std::string methodName_;
};
