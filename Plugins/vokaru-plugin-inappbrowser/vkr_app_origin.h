#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/url.h"

// The pages that count as the app's own: those of its start page's origin (scheme, host and
// port), or, for an app served from files, the files in its start page's folder and below. Only
// such pages may run in the web process of the page that reaches native code. A value type.
class VKRAppOrigin {
 public:
  // The origin of the app whose start page is `startPage`; nothing for a page without one (a
  // relative URL, a "file:" URL of another host, "about:", "data:" and other host-less URLs).
  static std::optional<VKRAppOrigin> of(const platform::URL& startPage);

  // Whether the URL text names one of the app's own pages. Text that doesn't parse as an
  // absolute URL names none.
  bool contains(std::string_view url) const;

 private:
  VKRAppOrigin() = default;

  std::string scheme_;
  // Set for "file:" origins: the lexically normal folder the pages lie in.
  std::optional<std::filesystem::path> folder_;
  std::string host_;
  std::optional<uint16_t> port_;
};
