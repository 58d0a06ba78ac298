#include "toolbox/fetcher/session_identifier.h"

#include "platform/foundation/json.h"

std::optional<SessionIdentifierParts> parseSessionIdentifier(std::string_view identifier) {
  const size_t first = identifier.find('_');
  if (first == std::string_view::npos || first == 0) return std::nullopt;
  const size_t second = identifier.find('_', first + 1);
  if (second == std::string_view::npos || second == first + 1) return std::nullopt;
  std::string_view rest = identifier.substr(second + 1);
  rest = rest.substr(0, rest.find('\n'));
  if (rest.empty()) return std::nullopt;
  platform::Result<platform::Value> metadata = platform::parseJSON(rest);
  if (!metadata.ok() || !metadata->isDictionary()) return std::nullopt;
  return SessionIdentifierParts{std::string(identifier.substr(first + 1, second - first - 1)),
                                std::move(*metadata)};
}

std::string makeSessionIdentifier(const std::string& uuid, const platform::Value& metadata) {
  std::string identifier = std::string(kZTMSessionIdentifierPrefix) + "_" + uuid;
  if (metadata.size() > 0) {
    platform::Result<std::string> json = platform::toJSON(metadata);
    if (json.ok() && !json->empty()) identifier += "_" + *json;
  }
  return identifier;
}
