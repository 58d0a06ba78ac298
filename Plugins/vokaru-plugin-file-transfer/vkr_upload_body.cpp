#include "Plugins/vokaru-plugin-file-transfer/vkr_upload_body.h"

#include "platform/foundation/log.h"

namespace {

// The "__cookie" parameter is sent as the Cookie header, not as a field.
constexpr std::string_view kCookieParameter = "__cookie";

void append(platform::Bytes& bytes, std::string_view text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}

// A quoted header parameter as browsers send it.
std::string quotedParameter(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') {
      out += "%22";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

bool vkrHasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

std::optional<std::string> vkrTextOfValue(const platform::Value& value) {
  if (const std::string* text = value.stringIf()) return *text;
  if (value.isBool()) return value.boolOr(false) ? "1" : "0";
  if (value.isInteger()) return std::to_string(value.intOr(0));
  if (value.isReal()) return platform::format("%.15g", value.doubleOr(0));
  return std::nullopt;
}

std::optional<VKRUploadBody> VKRUploadBody::multipart(const platform::Dictionary& parameters,
                                                      std::string_view fileKey,
                                                      std::string_view fileName,
                                                      std::string_view mimeType,
                                                      size_t fileLength) {
  const std::string separator = std::string("--") + kVKRFormBoundary + "\r\n";
  VKRUploadBody body;
  for (const auto& [key, value] : parameters) {
    if (key == kCookieParameter) continue;
    std::optional<std::string> text = vkrTextOfValue(value);
    if (!text) continue;
    if (vkrHasLineBreak(key)) return std::nullopt;
    append(body.head, separator);
    append(body.head, "Content-Disposition: form-data; name=" + quotedParameter(key) + "\r\n\r\n");
    append(body.head, *text);
    append(body.head, "\r\n");
  }
  if (vkrHasLineBreak(fileKey) || vkrHasLineBreak(fileName) || vkrHasLineBreak(mimeType)) {
    return std::nullopt;
  }
  append(body.head, separator);
  append(body.head, "Content-Disposition: form-data; name=" + quotedParameter(fileKey) +
                        "; filename=" + quotedParameter(fileName) + "\r\n");
  if (!mimeType.empty()) append(body.head, "Content-Type: " + std::string(mimeType) + "\r\n");
  append(body.head, "Content-Length: " + std::to_string(fileLength) + "\r\n\r\n");
  append(body.tail, std::string("\r\n--") + kVKRFormBoundary + "--\r\n");
  return body;
}
