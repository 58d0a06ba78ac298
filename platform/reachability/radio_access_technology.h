#pragma once

#include <optional>

namespace platform {

// Posted through the default notification center (with no object) when the cellular radio
// technology changes.
inline constexpr const char* kRadioAccessTechnologyDidChangeNotification =
    "RadioAccessTechnologyDidChangeNotification";

// The technologies of a cellular radio; Other for one this list doesn't know.
enum class RadioAccessTechnology {
  GPRS,
  Edge,
  WCDMA,
  HSDPA,
  HSUPA,
  CDMA1x,
  CDMAEVDORev0,
  CDMAEVDORevA,
  CDMAEVDORevB,
  EHRPD,
  LTE,
  Other,
};

// The technology the cellular radio uses now; none without a cellular connection. A Linux
// desktop has no telephony service, so this is none unless a test sets one. Any thread.
std::optional<RadioAccessTechnology> currentRadioAccessTechnology();
// Sets the technology and posts the change (tests). Main thread.
void setCurrentRadioAccessTechnology(std::optional<RadioAccessTechnology> technology);

}  // namespace platform
