#include "platform/net/data_url.h"

#include "platform/foundation/base64.h"
#include "platform/foundation/percent_encoding.h"
#include "platform/foundation/url_error.h"
#include "platform/net/ascii.h"

namespace platform::net {

Result<DataURLContent> decodeDataURL(std::string_view text) {
  if (text.size() < 5 || !equalsIgnoringCase(text.substr(0, 5), "data:")) {
    return makeURLError(kURLErrorBadURL);
  }
  text.remove_prefix(5);
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return makeURLError(kURLErrorBadURL);
  std::string_view header = text.substr(0, comma);
  const std::string_view payload = text.substr(comma + 1);

  DataURLContent content;
  bool isBase64 = false;
  if (header.size() >= 7 && equalsIgnoringCase(header.substr(header.size() - 7), ";base64")) {
    isBase64 = true;
    header.remove_suffix(7);
  }
  const size_t semicolon = header.find(';');
  const std::string_view type = trimBlanks(header.substr(0, semicolon));
  if (!type.empty()) {
    content.mimeType = asciiLowercase(type);
  } else {
    content.charset = "us-ascii";
  }
  std::string_view parameters =
      semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
  while (!parameters.empty()) {
    const size_t next = parameters.find(';');
    const std::string_view parameter = parameters.substr(0, next);
    parameters = next == std::string_view::npos ? std::string_view() : parameters.substr(next + 1);
    const size_t equals = parameter.find('=');
    if (equals != std::string_view::npos &&
        equalsIgnoringCase(trimBlanks(parameter.substr(0, equals)), "charset")) {
      content.charset = asciiLowercase(trimBlanks(parameter.substr(equals + 1)));
    }
  }

  std::optional<std::string> decoded = percentDecodeBytes(payload);
  if (!decoded) return makeURLError(kURLErrorBadURL);
  if (isBase64) {
    std::string compact;
    for (char c : *decoded) {
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') compact += c;
    }
    std::optional<Bytes> bytes = base64Decode(compact);
    if (!bytes) return makeURLError(kURLErrorBadURL);
    content.data = std::move(*bytes);
  } else {
    content.data = bytesOf(*decoded);
  }
  return content;
}

}  // namespace platform::net
