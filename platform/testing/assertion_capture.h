#pragma once

#include <string>
#include <vector>

#include "platform/foundation/assertion.h"
#include "platform/foundation/thread_annotations.h"

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
  mutable platform::Mutex mutex_;
  std::vector<std::string> messages_ VKR_GUARDED_BY(mutex_);
  AssertionHandler previous_;
};

}  // namespace platform::testing
