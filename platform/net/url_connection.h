#pragma once

#include <functional>
#include <optional>

#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/net/url_request.h"

namespace platform::net {

// The answer to one request: the response head when one came, the body, and the error of a load
// that failed (no error for an HTTP error status: that is an answer like any other).
using URLConnectionCompletion =
    std::function<void(const std::optional<URLResponse>& response, const Bytes& body,
                       const std::optional<Error>& error)>;

// Loads the request in the background through one shared session (default configuration,
// redirects followed) and calls the completion once, on the queue. Any thread.
void sendAsynchronousRequest(URLRequest request, QueuePtr queue,
                             URLConnectionCompletion completion);

}  // namespace platform::net
