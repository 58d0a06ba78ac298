#pragma once

#include <optional>
#include <string>

#include "platform/foundation/thread_annotations.h"
#include "platform/web/url_scheme.h"

namespace platform::web::testing {

// A request of a custom scheme that keeps its answers, for tests of scheme handlers; answers may
// come from any thread.
class RecordingSchemeTask : public URLSchemeTask {
 public:
  explicit RecordingSchemeTask(std::string url);
  const URLRequest& request() const override { return request_; }
  void respond(URLSchemeResponse response) override;
  void fail(Error error) override;

  // Runs the main loop until the first answer arrives (or a time-out passes): the response, or
  // nothing when the task failed or was not answered.
  std::optional<URLSchemeResponse> waitForResponse();
  // How many answers arrived.
  int answers() const;

 private:
  URLRequest request_;
  mutable Mutex mutex_;
  int answers_ VKR_GUARDED_BY(mutex_) = 0;
  std::optional<URLSchemeResponse> response_ VKR_GUARDED_BY(mutex_);
};

}  // namespace platform::web::testing
