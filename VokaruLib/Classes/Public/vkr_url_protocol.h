#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/value.h"
#include "platform/web/url_scheme.h"

// Serves photo-library assets ("assets-library://asset/asset.JPG?id=...&ext=JPG") to web views,
// read from the platform's photo library; any other URL handed to it is refused with 401. Nothing
// registers it by itself: a host that wants pages to load library assets calls registerClass()
// once before the first load. Answers are never cached.
class VKRURLProtocol {
 public:
  static constexpr const char* kScheme = "assets-library";

  // Installs startLoading() as the web engine's handler of the scheme; without an engine there is
  // nothing to serve.
  static void registerClass();
  // Whether the URL's text begins with "assets-library://".
  static bool canInitWithRequest(const platform::web::URLRequest& request);
  static const platform::web::URLRequest& canonicalRequestForRequest(
      const platform::web::URLRequest& request) {
    return request;
  }
  // Never: every load reads the library again.
  static bool requestIsCacheEquivalent(const platform::web::URLRequest&,
                                       const platform::web::URLRequest&) {
    return false;
  }
  // 200 with the asset's bytes and MIME type; 404 with no body for an unknown asset; 401 with no
  // body when the library refuses access; 401 "Access not allowed to URL: <url>" for any other
  // URL. The answer comes from the library's worker thread.
  static void startLoading(std::shared_ptr<platform::web::URLSchemeTask> task);

  // Answers the task with the status, the body (when given) and "Content-Type" (the MIME type,
  // "text/plain" without one), marked as never to be cached.
  static void sendResponseWithResponseCode(
      const std::shared_ptr<platform::web::URLSchemeTask>& task, int statusCode,
      std::optional<platform::Bytes> data, const std::optional<std::string>& mimeType);
};
