#pragma once

#include <string>
#include <vector>

#include "platform/foundation/log.h"
#include "platform/foundation/thread_annotations.h"

namespace platform::testing {

// Collects every logged message while it lives.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const;
  bool contains(const std::string& text) const;  // some line contains the text
  void clear();

 private:
  mutable platform::Mutex mutex_;
  std::vector<std::string> lines_ VKR_GUARDED_BY(mutex_);
  LogObserver previous_;
};

}  // namespace platform::testing
