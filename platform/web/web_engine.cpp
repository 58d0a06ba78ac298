#include "platform/web/web_engine.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/dispatch/main_thread_check.h"
#include "platform/web/web_errors.h"

namespace platform::web {

namespace {

// Schemes the engine serves itself or reserves; a handler for one would never be asked.
constexpr std::array<std::string_view, 11> kReservedSchemes = {
    "http", "https", "file", "data", "about", "blob", "javascript", "ws", "wss", "ftp", "resource"};

std::shared_ptr<WebEngine>& installedEngine() {
  static std::shared_ptr<WebEngine> engine;
  return engine;
}

bool isSchemeName(const std::string& scheme) {
  if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme[0]))) return false;
  return std::all_of(scheme.begin(), scheme.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

}  // namespace

Status WebEngine::registerURLScheme(const std::string& scheme, URLSchemeHandler handler) {
  VKR_ASSERT_MAIN_THREAD();
  std::string lower = scheme;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (!isSchemeName(lower)) {
    return Error::withDescription(kURLErrorDomain, kURLErrorBadURL,
                                  "\"" + scheme + "\" is not a URL scheme name");
  }
  if (std::find(kReservedSchemes.begin(), kReservedSchemes.end(), lower) !=
      kReservedSchemes.end()) {
    return Error::withDescription(kURLErrorDomain, kURLErrorUnsupportedURL,
                                  "The scheme \"" + lower + "\" is served by the web engine");
  }
  if (!handler) {
    return Error::withDescription(kURLErrorDomain, kURLErrorUnsupportedURL,
                                  "No handler for the scheme \"" + lower + "\"");
  }
  return registerURLSchemeImpl(lower, std::move(handler));
}

std::shared_ptr<WebEngine> webEngine() { return installedEngine(); }

std::shared_ptr<WebEngine> setWebEngine(std::shared_ptr<WebEngine> engine) {
  std::swap(installedEngine(), engine);
  return engine;
}

}  // namespace platform::web
