#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser_options.h"

#include <utility>
#include <variant>
#include <vector>

#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "platform/foundation/text_number.h"

namespace {

using Options = VKRInAppBrowserOptions;
using BoolOption = bool Options::*;
using TextOption = std::optional<std::string> Options::*;
using PositionOption = std::string Options::*;

struct OptionField {
  std::string_view key;
  std::variant<BoolOption, TextOption, PositionOption> field;
};

constexpr OptionField kFields[] = {
    {"location", &Options::location},
    {"toolbar", &Options::toolbar},
    {"closebuttoncaption", &Options::closebuttoncaption},
    {"toolbarposition", &Options::toolbarposition},
    {"clearcache", &Options::clearcache},
    {"clearsessioncache", &Options::clearsessioncache},
    {"presentationstyle", &Options::presentationstyle},
    {"transitionstyle", &Options::transitionstyle},
    {"enableviewportscale", &Options::enableviewportscale},
    {"mediaplaybackrequiresuseraction", &Options::mediaplaybackrequiresuseraction},
    {"allowinlinemediaplayback", &Options::allowinlinemediaplayback},
    {"keyboarddisplayrequiresuseraction", &Options::keyboarddisplayrequiresuseraction},
    {"suppressesincrementalrendering", &Options::suppressesincrementalrendering},
    {"hidden", &Options::hidden},
    {"disallowoverscroll", &Options::disallowoverscroll},
};

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number with an optional sign and fraction, all of the text: what a number formatter
// that allows fractions reads.
bool isNumber(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  return digits > 0 && i == text.size();
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A text read as a truth value: its first character after white space.
bool textIsTrue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  if (i == text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

bool boolValue(std::string_view value) {
  const std::string lower = vkrLowercase(value);
  if (isNumber(lower)) return platform::doubleValueOfText(lower) != 0;
  if (lower == "yes") return true;
  if (lower == "no") return false;
  return textIsTrue(value);
}

}  // namespace

VKRInAppBrowserOptions VKRInAppBrowserOptions::parseOptions(std::string_view text) {
  Options options;
  for (std::string_view piece : split(text, ',')) {
    std::vector<std::string_view> pair = split(piece, '=');
    if (pair.size() != 2) continue;
    const std::string key = vkrLowercase(pair[0]);
    const std::string_view value = pair[1];
    for (const OptionField& field : kFields) {
      if (field.key != key) continue;
      if (auto* flag = std::get_if<BoolOption>(&field.field)) {
        options.*(*flag) = boolValue(value);
      } else if (auto* textField = std::get_if<TextOption>(&field.field)) {
        options.*(*textField) = std::string(value);
      } else {
        options.*(std::get<PositionOption>(field.field)) = std::string(value);
      }
      break;
    }
  }
  return options;
}
