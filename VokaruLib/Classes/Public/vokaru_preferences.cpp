#include "VokaruLib/Classes/Public/vokaru_preferences.h"

#include <cctype>
#include <charconv>

#include "VokaruLib/Classes/Public/vkr_lowercase.h"

using platform::Value;

namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool textAsBool(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i == text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

float textAsFloat(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Only a plain decimal number counts: digits, a fraction and an exponent.
  const size_t start = i;
  while (i < text.size() && isDigit(text[i])) ++i;
  size_t digits = i - start;
  if (i < text.size() && text[i] == '.') {
    ++i;
    const size_t fraction = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    digits += i - fraction;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t exponent = i + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    if (exponent < text.size() && isDigit(text[exponent])) {
      i = exponent;
      while (i < text.size() && isDigit(text[i])) ++i;
    }
  }
  float value = 0;
  std::from_chars(text.data() + start, text.data() + i, value);
  return negative ? -value : value;
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
  if (const std::string* text = value->stringIf()) return textAsFloat(*text);
  return static_cast<float>(value->doubleOr(0));
}

void setVokaruSetting(platform::Dictionary& settings, Value value, std::string_view key) {
  settings.set(vkrLowercase(key), std::move(value));
}
