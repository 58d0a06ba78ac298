#include "toolbox/url/url_arguments.h"

#include <vector>

#include "platform/foundation/percent_encoding.h"

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    pieces.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

std::string descriptionOf(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) return *text;
  if (value.isReal()) {
    std::string text = std::to_string(*value.asDouble());
    text.erase(text.find_last_not_of('0') + 1);
    if (text.ends_with('.')) text.pop_back();
    return text;
  }
  if (std::optional<int64_t> number = value.asInteger()) return std::to_string(*number);
  return {};
}

}  // namespace

std::string ztm_stringByEscapingForURLArgument(std::string_view text) {
  return platform::percentEncode(text, platform::kURLUnreservedAllowed);
}

std::optional<std::string> ztm_stringByUnescapingFromURLArgument(std::string_view text) {
  std::string spaced(text);
  for (char& c : spaced) {
    if (c == '+') c = ' ';
  }
  return platform::percentDecode(spaced);
}

platform::Dictionary ztm_dictionaryWithHttpArgumentsString(std::string_view text) {
  platform::Dictionary arguments;
  const std::vector<std::string_view> pieces = split(text, '&');
  // From the last piece to the first, so that the first of a repeated name is stored last.
  for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
    if (piece->empty()) continue;
    const size_t equals = piece->find('=');
    const std::string_view name = piece->substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : piece->substr(equals + 1);
    arguments.set(ztm_stringByUnescapingFromURLArgument(name).value_or(""),
                  ztm_stringByUnescapingFromURLArgument(value).value_or(""));
  }
  return arguments;
}

std::string ztm_httpArgumentsString(const platform::Dictionary& arguments) {
  std::string query;
  for (const auto& [name, value] : arguments) {
    if (!query.empty()) query += '&';
    query += ztm_stringByEscapingForURLArgument(name) + "=" +
             ztm_stringByEscapingForURLArgument(descriptionOf(value));
  }
  return query;
}
