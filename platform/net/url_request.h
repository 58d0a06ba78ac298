#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/url.h"
#include "platform/foundation/value.h"
#include "platform/net/input_stream.h"

namespace platform::net {

// Header fields: names compare without regard to letter case and keep the spelling first given;
// order is kept.
class HTTPHeaderFields {
 public:
  using Field = std::pair<std::string, std::string>;

  HTTPHeaderFields() = default;
  HTTPHeaderFields(std::initializer_list<Field> fields);

  std::optional<std::string> value(std::string_view name) const;
  bool contains(std::string_view name) const { return find(name) != fields_.end(); }
  // Replaces the field's value (keeping its place) or appends the field.
  void set(std::string_view name, std::string value);
  // Appends ", value" to a field that exists, else adds it.
  void add(std::string_view name, std::string_view value);
  void remove(std::string_view name);

  const std::vector<Field>& fields() const { return fields_; }
  bool empty() const { return fields_.empty(); }
  bool operator==(const HTTPHeaderFields&) const = default;

 private:
  std::vector<Field>::const_iterator find(std::string_view name) const;
  std::vector<Field> fields_;
};

// True when a header name is a token and the value holds no CR, LF or NUL: nothing that could
// split one header into two.
bool isValidHeaderField(std::string_view name, std::string_view value);

// What to fetch and how.
struct URLRequest {
  std::optional<URL> url;
  std::string httpMethod = "GET";
  HTTPHeaderFields headers;
  std::optional<Bytes> httpBody;
  // A body read from a stream (used when there is no httpBody).
  std::shared_ptr<InputStream> httpBodyStream;
  // Seconds without any byte moving before the load fails as timed out.
  double timeoutInterval = 60.0;
  // The page the request belongs to, for cookie policies that look at it.
  std::optional<URL> mainDocumentURL;
  // Send cookies of the session's cookie storage and store the ones the server sets.
  bool httpShouldHandleCookies = true;

  URLRequest() = default;
  explicit URLRequest(URL url) : url(std::move(url)) {}

  std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
    return headers.value(name);
  }
  // nullopt removes the field.
  void setValue(std::optional<std::string> value, std::string_view name);
  std::string urlString() const { return url ? url->absoluteString() : std::string(); }
};

// A response head. Responses of other schemes than http(s) carry no status (0) and no headers.
struct URLResponse {
  URL url;
  bool isHTTP = false;
  int statusCode = 0;
  HTTPHeaderFields headers;
  // Length the body announced, or -1 when unknown.
  int64_t expectedContentLength = -1;
  // From Content-Type: the media type in lower case, and the charset when given.
  std::string mimeType;
  std::string textEncodingName;
};

// A response with its body, as a response cache keeps them.
struct CachedURLResponse {
  URLResponse response;
  Bytes data;
};

// Fills mimeType and textEncodingName from a Content-Type value.
void applyContentType(URLResponse& response, std::string_view contentType);

}  // namespace platform::net
