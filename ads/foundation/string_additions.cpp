#include "ads/foundation/string_additions.h"

#include "platform/foundation/crypto.h"
#include "platform/foundation/log.h"
#include "platform/foundation/utf8.h"

std::optional<platform::Bytes> zad_MD5Data(std::string_view text) {
  if (!platform::isValidUTF8(text)) return std::nullopt;
  return platform::md5(text);
}

std::optional<std::string> zad_MD5String(std::string_view text) {
  auto digest = zad_MD5Data(text);
  if (!digest) return std::nullopt;
  return platform::hexString(*digest);
}

std::string ZADTrimmedDoubleString(double number) {
  std::string text = platform::format("%f", number);
  if (text.find('.') == std::string::npos) return text;  // inf, nan
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

ZADInterfaceOrientationMask ZADInterfaceOrientationMaskFromString(std::string_view text) {
  if (text == "any") return 30;
  if (text == "portrait") return 6;
  if (text == "landscape") return 24;
  return 0;
}

bool ZADInterfaceOrientationMaskContainsOrientation(ZADInterfaceOrientationMask mask,
                                                    int64_t orientation) {
  if (orientation < 0 || orientation > 31) return false;
  return (mask & (1u << orientation)) != 0;
}

const platform::Value* zad_objectForKey(const platform::Dictionary& dictionary,
                                        std::string_view key,
                                        bool (platform::Value::*isKind)() const) {
  const platform::Value* value = dictionary.find(key);
  return value && (value->*isKind)() ? value : nullptr;
}
