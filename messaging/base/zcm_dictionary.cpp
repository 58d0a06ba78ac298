#include "messaging/base/zcm_dictionary.h"

#include <algorithm>

#include "messaging/base/zcm_logger.h"
#include "platform/foundation/text_number.h"

std::string zcm_string(const platform::Dictionary& dictionary) {
  std::string joined;
  for (const auto& [key, value] : dictionary) {
    const std::string* text = value.stringIf();
    if (!text) continue;
    if (!joined.empty()) joined += '|';
    joined += key + ':' + *text;
  }
  return joined;
}

bool zcm_hasNonStringKeysOrValues(const platform::Dictionary& dictionary) {
  return std::any_of(dictionary.begin(), dictionary.end(),
                     [](const auto& entry) { return !entry.second.isString(); });
}

platform::Dictionary zcm_trimNonStringValues(const platform::Dictionary& dictionary) {
  platform::Dictionary trimmed;
  for (const auto& [key, value] : dictionary) {
    if (value.isString()) {
      trimmed.set(key, value);
    } else {
      ZCM_LOG_ERROR("Trimming key: %s, value: %s", key.c_str(), platform::describe(value).c_str());
    }
  }
  return trimmed;
}

bool zcm_boolValue(const platform::Value& value) {
  const std::string* text = value.stringIf();
  if (!text) return value.boolOr(false);
  const size_t start = text->find_first_not_of(" \t\n");
  if (start == std::string::npos) return false;
  const char first = (*text)[start];
  if (first == 'Y' || first == 'y' || first == 'T' || first == 't') return true;
  return platform::integerValueOfText(*text) != 0;
}
