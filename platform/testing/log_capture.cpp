#include "platform/testing/log_capture.h"

namespace platform::testing {

LogCapture::LogCapture() {
  previous_ = setLogObserver([this](std::string_view message) {
    platform::MutexLock lock(mutex_);
    lines_.emplace_back(message);
  });
}

LogCapture::~LogCapture() { setLogObserver(std::move(previous_)); }

std::vector<std::string> LogCapture::lines() const {
  platform::MutexLock lock(mutex_);
  return lines_;
}

bool LogCapture::contains(const std::string& text) const {
  platform::MutexLock lock(mutex_);
  for (const std::string& line : lines_) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

void LogCapture::clear() {
  platform::MutexLock lock(mutex_);
  lines_.clear();
}

}  // namespace platform::testing
