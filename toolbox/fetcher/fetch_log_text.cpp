#include "toolbox/fetcher/fetch_log_text.h"

#include <algorithm>

#include "platform/foundation/json.h"
#include "platform/foundation/log.h"
#include "platform/foundation/utf8.h"

namespace fetch_log_text {

namespace {

bool isValidUTF8(std::string_view text) { return platform::isValidUTF8(text); }

}  // namespace

std::optional<std::string> snipSubstringOfString(const std::optional<std::string>& text,
                                                 std::string_view start, std::string_view end) {
  if (!text) return std::nullopt;
  const size_t found = text->find(start);
  if (found == std::string::npos) return text;
  const size_t from = found + start.size();
  const size_t to = text->find(end, from);
  std::string snipped = *text;
  snipped.replace(from, (to == std::string::npos ? text->size() : to) - from, kSnip);
  return snipped;
}

std::string headersStringForDictionary(const platform::net::HTTPHeaderFields& headers) {
  std::vector<std::pair<std::string, std::string>> sorted;
  for (const auto& [name, value] : headers.fields()) sorted.emplace_back(name, value);
  std::sort(sorted.begin(), sorted.end());
  std::string listing;
  for (auto& [name, value] : sorted) {
    if (name == "Authorization") {
      std::optional<std::string> snipped = value;
      snipped = snipSubstringOfString(snipped, "oauth_token=\"", "\"");
      snipped = snipSubstringOfString(snipped, "Bearer ", "\n");
      snipped = snipSubstringOfString(snipped, "OAuth ", "\n");
      snipped = snipSubstringOfString(snipped, "ZorovaLogin auth=", "\n");
      value = *snipped;
    }
    listing += "  " + name + ": " + value + "\n";
  }
  return listing;
}

std::optional<std::string> formattedStringFromData(const std::optional<platform::Bytes>& data,
                                                   std::string_view contentType,
                                                   platform::Value* json) {
  if (!data) return std::nullopt;
  const std::string text = platform::stringOf(*data);
  if (contentType.starts_with("application/json") && data->size() >= 6) {
    if (platform::Result<platform::Value> parsed = platform::parseJSON(text); parsed.ok()) {
      platform::Value object = *parsed;
      if (json) *json = object;
      if (object.isDictionary()) {
        for (const char* key : {"refresh_token", "access_token"}) {
          if (!object[key].isNull()) (void)object.set(key, kSnip);
        }
      }
      platform::JSONWriteOptions pretty;
      pretty.pretty = true;
      if (platform::Result<std::string> written = platform::toJSON(object, pretty); written.ok()) {
        return *written;
      }
    }
  }
  if (!isValidUTF8(text)) return std::nullopt;
  return text;
}

std::optional<std::string> stringFromStreamData(const std::optional<platform::Bytes>& data,
                                                std::string_view contentType) {
  if (!data) return std::nullopt;
  if (std::optional<std::string> text = formattedStringFromData(data, contentType)) return text;
  // Bytes that aren't plain ASCII become "_", so a multipart document's structure shows.
  std::string copy = platform::stringOf(*data);
  for (char& c : copy) {
    if (static_cast<signed char>(c) <= 0) c = '_';
  }
  std::string result = copy;
  const size_t lineEnd = copy.find("\r\n");
  if (copy.starts_with("--") && lineEnd != std::string::npos) {
    result.clear();
    const std::string boundary = copy.substr(0, lineEnd);
    const std::string original = platform::stringOf(*data);
    size_t at = 0;
    bool first = true;
    while (true) {
      const size_t next = copy.find(boundary, at);
      const size_t pieceEnd = next == std::string::npos ? copy.size() : next;
      const std::string bytes = original.substr(at, pieceEnd - at);
      std::string piece;
      if (isValidUTF8(bytes)) {
        piece = bytes;
      } else {
        const std::string text = copy.substr(at, pieceEnd - at);
        const size_t headerEnd = text.find("\r\n\r\n");
        const std::string header = headerEnd == std::string::npos ? "" : text.substr(0, headerEnd);
        const size_t rest = text.size() - header.size();
        piece = platform::format("\r%s\r<<%lu bytes>>\r", header.c_str(),
                                 static_cast<unsigned long>(rest));
      }
      if (!first) result += boundary;
      result += piece;
      first = false;
      if (next == std::string::npos) break;
      at = next + boundary.size();
    }
  }
  if (result.empty()) {
    result = platform::format("<<%u bytes>>", static_cast<unsigned>(data->size()));
  }
  return result;
}

}  // namespace fetch_log_text
