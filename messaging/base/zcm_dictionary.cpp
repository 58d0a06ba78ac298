#include "messaging/base/zcm_dictionary.h"

#include <algorithm>

#include "messaging/base/zcm_logger.h"

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
