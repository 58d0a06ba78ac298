#include "platform/testing/assertion_capture.h"

namespace platform::testing {

AssertionCapture::AssertionCapture() {
  previous_ = setAssertionHandler([this](std::string_view message) {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(message);
  });
}

AssertionCapture::~AssertionCapture() { setAssertionHandler(std::move(previous_)); }

std::vector<std::string> AssertionCapture::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

}  // namespace platform::testing
