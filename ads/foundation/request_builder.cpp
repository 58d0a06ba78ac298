#include "ads/foundation/request_builder.h"

#include "ads/foundation/device.h"
#include "ads/foundation/url_additions.h"

std::optional<platform::net::URLRequest> zad_requestForURL(
    const std::optional<platform::URL>& url, const std::optional<platform::Bytes>& body,
    const platform::Dictionary& headers, const std::optional<std::string>& contentType) {
  if (!url) return std::nullopt;
  platform::net::URLRequest request(*url);
  for (const auto& [name, value] : headers) {
    const std::string text = ZADValueText(value);
    // A header that could split into two is not sent.
    if (platform::net::isValidHeaderField(name, text)) request.setValue(text, name);
  }
  if (auto userAgent = ZADDevice::sharedInstance().userAgentString()) {
    request.setValue(*userAgent, "User-Agent");
  }
  if (body && contentType) {
    request.httpMethod = "POST";
    request.httpBody = *body;
    request.setValue(std::to_string(body->size()), "Content-Length");
    request.setValue(*contentType, "Content-Type");
  }
  return request;
}
