#include "ads/foundation/url_additions.h"

#include <cctype>

#include "platform/foundation/log.h"
#include "platform/foundation/percent_encoding.h"

namespace {

std::vector<std::string_view> split(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || separators.find(text[i]) != std::string_view::npos) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

std::string lowercased(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool equalText(std::string_view a, std::string_view b, bool caseSensitive) {
  return caseSensitive ? a == b : lowercased(a) == lowercased(b);
}

}  // namespace

std::string zad_stringByEscapingAsURLParameter(std::string_view text) {
  return platform::percentEncode(text, platform::kURLUnreservedAllowed);
}

std::string zad_stripTrailingSlash(std::string_view text) {
  if (!text.empty() && text.back() == '/') text.remove_suffix(1);
  return std::string(text);
}

bool zad_isEquivalentToURLString(std::string_view text, std::string_view other) {
  return zad_stripTrailingSlash(text) == zad_stripTrailingSlash(other);
}

std::string ZADValueText(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) return *text;
  if (value.isBool()) return value.boolOr(false) ? "1" : "0";
  if (value.isInteger()) return std::to_string(value.intOr(0));
  if (value.isReal()) return platform::format("%.15g", value.doubleOr(0));
  return platform::describe(value);
}

std::optional<platform::URL> zad_URLByAppendingQueryParameters(
    const platform::URL& url, const platform::Dictionary& parameters) {
  std::string text = url.absoluteString();
  std::string separator = url.query() && !url.query()->empty() ? "&" : "?";
  std::string tail;
  if (size_t cut = text.find("&adurl="); cut != std::string::npos) {
    tail = text.substr(cut);
    text.resize(cut);
  }
  for (const auto& [key, value] : parameters) {
    text += separator + key;
    separator = "&";
    const std::string escaped = zad_stringByEscapingAsURLParameter(ZADValueText(value));
    if (!escaped.empty()) text += "=" + escaped;
  }
  platform::Result<platform::URL> appended = platform::URL::parse(text + tail);
  if (!appended.ok()) return std::nullopt;
  return *appended;
}

std::optional<std::vector<std::string>> zad_parameterValuesForKey(const platform::URL& url,
                                                                  std::string_view key) {
  if (!url.query()) return std::nullopt;
  std::vector<std::string> values;
  for (std::string_view pair : split(*url.query(), "&")) {
    std::vector<std::string_view> pieces = split(pair, "=");
    if (pieces.size() != 2 || pieces[0] != key) continue;
    if (auto value = platform::percentDecode(pieces[1])) values.push_back(std::move(*value));
  }
  if (values.empty()) return std::nullopt;
  return values;
}

std::optional<std::string> zad_parameterValueForKey(const platform::URL& url,
                                                    std::string_view key) {
  auto values = zad_parameterValuesForKey(url, key);
  if (!values) return std::nullopt;
  return values->front();
}

platform::Dictionary zad_dictionaryFromQueryParameters(const platform::URL& url,
                                                       bool convertKeysToLowercase) {
  std::string query;
  if (url.query()) {
    query = *url.query();
  } else {
    const std::string specifier = url.resourceSpecifier();
    if (size_t mark = specifier.find('?'); mark != std::string::npos) {
      query = specifier.substr(mark + 1);
    }
  }
  platform::Dictionary result;
  for (std::string_view pair : split(query, "&;")) {
    std::vector<std::string_view> pieces = split(pair, "=");
    if (pieces.size() != 2) continue;
    auto key = platform::percentDecode(pieces[0]);
    auto value = platform::percentDecode(pieces[1]);
    if (!key || !value) continue;
    result.set(convertKeysToLowercase ? lowercased(*key) : *key, *value);
  }
  return result;
}

std::optional<std::string> zad_impressionTicket(const platform::URL& url) {
  const std::vector<std::string> components = url.pathComponents();
  if (components.size() < 4) return std::nullopt;
  return components[2] + "/" + components[3];
}

std::string zad_absoluteStringWithoutFragmentComponent(const platform::URL& url) {
  const std::string& text = url.absoluteString();
  return text.substr(0, text.find('#'));
}

bool zad_isHostEqualToString(const platform::URL& url, std::string_view host, bool caseSensitive) {
  const std::optional<std::string>& written = url.parts().host;
  return written && equalText(*written, host, caseSensitive);
}

bool zad_isSchemeEqualToString(const platform::URL& url, std::string_view scheme,
                               bool caseSensitive) {
  return equalText(url.parts().scheme, scheme, caseSensitive);
}
