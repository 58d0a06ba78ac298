#include "VokaruLib/Classes/Public/vokaru_preferences.h"

#include <cctype>

#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "platform/foundation/text_number.h"

using platform::Value;

namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool textAsBool(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i == text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace

const Value* vokaruSettingForKey(const platform::Dictionary& settings, std::string_view key) {
  return settings.find(vkrLowercase(key));
}

bool vokaruBoolSettingForKey(const platform::Dictionary& settings, std::string_view key,
                             bool defaultValue) {
  const Value* value = vokaruSettingForKey(settings, key);
  if (!value) return defaultValue;
  if (const std::string* text = value->stringIf()) return textAsBool(*text);
  return value->boolOr(false);
}

double vokaruFloatSettingForKey(const platform::Dictionary& settings, std::string_view key,
                                double defaultValue) {
  const Value* value = vokaruSettingForKey(settings, key);
  if (!value) return defaultValue;
  if (const std::string* text = value->stringIf()) {
    return static_cast<float>(platform::doubleValueOfText(*text));
  }
  return static_cast<float>(value->doubleOr(0));
}

void setVokaruSetting(platform::Dictionary& settings, Value value, std::string_view key) {
  settings.set(vkrLowercase(key), std::move(value));
}
