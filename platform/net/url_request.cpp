#include "platform/net/url_request.h"

#include <algorithm>

#include "platform/net/ascii.h"

namespace platform::net {

HTTPHeaderFields::HTTPHeaderFields(std::initializer_list<Field> fields) {
  for (const Field& field : fields) set(field.first, field.second);
}

std::vector<HTTPHeaderFields::Field>::const_iterator HTTPHeaderFields::find(
    std::string_view name) const {
  return std::find_if(fields_.begin(), fields_.end(),
                      [name](const Field& field) { return equalsIgnoringCase(field.first, name); });
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
  auto it = find(name);
  if (it == fields_.end()) return std::nullopt;
  return it->second;
}

void HTTPHeaderFields::set(std::string_view name, std::string value) {
  auto it = find(name);
  if (it == fields_.end()) {
    fields_.emplace_back(std::string(name), std::move(value));
  } else {
    fields_[static_cast<size_t>(it - fields_.begin())].second = std::move(value);
  }
}

void HTTPHeaderFields::add(std::string_view name, std::string_view value) {
  auto it = find(name);
  if (it == fields_.end()) {
    fields_.emplace_back(std::string(name), std::string(value));
  } else {
    std::string& existing = fields_[static_cast<size_t>(it - fields_.begin())].second;
    existing += ", ";
    existing += value;
  }
}

void HTTPHeaderFields::remove(std::string_view name) {
  std::erase_if(fields_,
                [name](const Field& field) { return equalsIgnoringCase(field.first, name); });
}

bool isValidHeaderField(std::string_view name, std::string_view value) {
  if (name.empty() || !std::all_of(name.begin(), name.end(), isTokenCharacter)) return false;
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

void URLRequest::setValue(std::optional<std::string> value, std::string_view name) {
  if (value) {
    headers.set(name, std::move(*value));
  } else {
    headers.remove(name);
  }
}

void applyContentType(URLResponse& response, std::string_view contentType) {
  const size_t semicolon = contentType.find(';');
  response.mimeType = asciiLowercase(trimBlanks(contentType.substr(0, semicolon)));
  response.textEncodingName.clear();
  std::string_view rest =
      semicolon == std::string_view::npos ? std::string_view() : contentType.substr(semicolon + 1);
  while (!rest.empty()) {
    const size_t next = rest.find(';');
    std::string_view parameter = trimBlanks(rest.substr(0, next));
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    const size_t equals = parameter.find('=');
    if (equals == std::string_view::npos ||
        asciiLowercase(trimBlanks(parameter.substr(0, equals))) != "charset") {
      continue;
    }
    std::string_view charset = trimBlanks(parameter.substr(equals + 1));
    if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"') {
      charset = charset.substr(1, charset.size() - 2);
    }
    response.textEncodingName = asciiLowercase(charset);
  }
}

}  // namespace platform::net
