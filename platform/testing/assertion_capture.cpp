#include "platform/testing/assertion_capture.h"

namespace platform::testing {

AssertionCapture::AssertionCapture() {
  previous_ = setAssertionHandler([this](std::string_view message) {
    platform::MutexLock lock(mutex_);
    messages_.emplace_back(message);
  });
}

AssertionCapture::~AssertionCapture() { setAssertionHandler(std::move(previous_)); }

std::vector<std::string> AssertionCapture::messages() const {
  platform::MutexLock lock(mutex_);
  return messages_;
}

}  // namespace platform::testing
