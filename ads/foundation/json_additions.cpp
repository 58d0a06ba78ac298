#include "ads/foundation/json_additions.h"

#include "ads/foundation/internal_errors.h"
#include "platform/foundation/json.h"

platform::Result<platform::Value> zad_decodedJSONObject(std::string_view text) {
  return platform::parseJSON(text, {.allowFragments = true});
}

platform::Result<std::string> zad_JSONStringPretty(const platform::Dictionary& dictionary,
                                                   bool pretty) {
  platform::Result<std::string> json = platform::toJSON(dictionary, {.pretty = pretty});
  if (!json.ok()) return zad_errorWithCode(kZADInternalErrorInternal, "Invalid JSON object.");
  return json;
}

platform::Dictionary zad_JSONSafeDictionary(const platform::Dictionary& dictionary) {
  platform::Dictionary safe = dictionary;
  for (auto& [key, value] : safe) {
    if (platform::Dictionary* nested = value.dictionaryIf()) {
      *nested = zad_JSONSafeDictionary(*nested);
    } else if (!platform::toJSON(platform::Value::dictionary({{key, value}})).ok()) {
      value = platform::describe(value);
    }
  }
  return safe;
}
