#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/web/url_request.h"

namespace platform::web {

// The answer to a request of a custom URL scheme.
struct URLSchemeResponse {
  int statusCode = 200;
  // The body's MIME type; when empty, the "Content-Type" header's, else guessed from the URL.
  std::string mimeType;
  HeaderList headers;
  Bytes body;
};

// One request of a custom scheme, to be answered once with a response or an error. Answers may
// come from any thread and at any later time; answers after the first are ignored. A task
// dropped without an answer fails its request with kURLErrorResourceUnavailable, so no page
// waits forever.
class URLSchemeTask {
 public:
  virtual ~URLSchemeTask() = default;
  // The request's URL, method and header fields (mainDocumentURL is empty).
  virtual const URLRequest& request() const = 0;
  virtual void respond(URLSchemeResponse response) = 0;
  virtual void fail(Error error) = 0;
};

// Serves the requests of one scheme; called on the main thread.
using URLSchemeHandler = std::function<void(std::shared_ptr<URLSchemeTask> task)>;

}  // namespace platform::web
