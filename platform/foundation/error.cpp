#include "platform/foundation/error.h"

namespace platform {

Error::Error(std::string domain, int64_t code, Value userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {
  if (!userInfo_.isDictionary()) userInfo_ = Value::dictionary();
}

Error Error::withDescription(std::string domain, int64_t code, std::string description) {
  Value info = Value::dictionary();
  info.set(kDescriptionKey, std::move(description));
  return Error(std::move(domain), code, std::move(info));
}

std::string Error::localizedDescription() const {
  if (const std::string* text = userInfo_[kDescriptionKey].stringIf()) return *text;
  return "The operation couldn\u2019t be completed. (" + domain_ + " error " +
         std::to_string(code_) + ".)";
}

std::string Error::description() const {
  return "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" +
         localizedDescription() + "\"";
}

}  // namespace platform
