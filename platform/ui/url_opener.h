#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform::ui {

// Opens URLs in other programs: the system's handlers, or a recorder in tests.
class URLOpener {
 public:
  virtual ~URLOpener() = default;
  // Whether some program handles the URL's scheme.
  virtual bool canOpenURL(const std::string& url) = 0;
  // The completion runs later on the main thread with whether a program took the URL.
  virtual void openURL(const std::string& url, std::function<void(bool opened)> completion) = 0;
};

// The desktop's default handlers for URL schemes (through GIO).
std::shared_ptr<URLOpener> makeSystemURLOpener();

}  // namespace platform::ui
