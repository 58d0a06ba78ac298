#include "platform/web/testing/recording_scheme_task.h"

#include "platform/testing/main_loop.h"

namespace platform::web::testing {

RecordingSchemeTask::RecordingSchemeTask(std::string url) { request_.url = std::move(url); }

void RecordingSchemeTask::respond(URLSchemeResponse response) {
  MutexLock lock(mutex_);
  if (answers_++ == 0) response_ = std::move(response);
}

void RecordingSchemeTask::fail(Error) {
  MutexLock lock(mutex_);
  ++answers_;
}

std::optional<URLSchemeResponse> RecordingSchemeTask::waitForResponse() {
  platform::testing::runMainLoopUntil([this] { return answers() > 0; });
  MutexLock lock(mutex_);
  return response_;
}

int RecordingSchemeTask::answers() const {
  MutexLock lock(mutex_);
  return answers_;
}

}  // namespace platform::web::testing
