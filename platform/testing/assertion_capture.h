#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/assertion.h"

namespace platform::testing {

// Collects assertion failures instead of aborting, while it lives.
class AssertionCapture {
 public:
  AssertionCapture();
  ~AssertionCapture();
  AssertionCapture(const AssertionCapture&) = delete;
  AssertionCapture& operator=(const AssertionCapture&) = delete;

  std::vector<std::string> messages() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  AssertionHandler previous_;
};

}  // namespace platform::testing
