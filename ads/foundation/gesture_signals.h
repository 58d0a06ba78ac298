#pragma once

// Platform facts for the engine's request-signal component: text as UTF-8, the default route's
// reachability, web-safe Base64, the battery, how much of an ad view other views cover, and the
// device identifier record.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ads/foundation/geometry.h"
#include "platform/storage/user_defaults.h"
#include "platform/ui/view.h"

// The identifier the signal component reports: type 4 the advertising identifier (Base64 of its
// 16 bytes), 1 an identifier the app made and keeps in "madAppId", 0 the text as it is.
struct ZADGestureDeviceIdentifier {
  std::optional<std::string> identifier;
  int32_t identifierType = 0;
  bool optedOut = false;
};

// The text's zero-terminated UTF-8 bytes; null for no text (the flag is then left alone). The
// bytes belong to the string, so `mustFree` is always cleared.
const char* ZADGestureCopyUTF8CString(const std::optional<std::string>& string, bool& mustFree);
// The default route's flags through the pointer; false without one.
bool ZADGestureReachabilityFlags(uint32_t* flags);
// RFC 4648's web-safe Base64 without padding.
std::string ZADGestureWebSafeBase64String(const uint8_t* bytes, uint32_t length);
// Low 32 bits: the battery level in percent (-100 when unknown); high 32 bits: its state
// (0 unknown, 1 unplugged, 2 charging, 3 full).
uint64_t ZADGestureBatteryInfo();
// Registers a view class by name, so that the visible frame can be asked for it.
void ZADGestureRegisterViewClass(std::string name,
                                 std::function<bool(const platform::ui::View&)> isKindOf);
template <typename T>
void ZADGestureRegisterViewClass(std::string name) {
  ZADGestureRegisterViewClass(std::move(name), [](const platform::ui::View& view) {
    return dynamic_cast<const T*>(&view) != nullptr;
  });
}
// The first part of the key window's first shown view of the class that a view drawn above it
// covers, in window coordinates: the zero rectangle when nothing covers it, the null rectangle
// when no such view is shown or the class is unknown. Main thread.
ZADRect ZADGestureVisibleFrameOfViewClass(std::string_view className);
// The null rectangle (no rectangle at all), apart from the zero one.
ZADRect ZADNullRect();
bool ZADRectIsNull(const ZADRect& rect);
// The signal component's 16 bytes for the text; false without text or output.
bool ZADGestureProcessString(const std::optional<std::string>& string, uint8_t* output);
ZADGestureDeviceIdentifier ZADGestureDeviceIdentifierBytes();

// The signal component's conversion of an identifier into 16 bytes: its MD5 digest.
void ZADSignalsConvertIdentifier(const char* text, size_t length, uint8_t* output);

class ZADGestureUtil {
 public:
  // The default route's flags; 0 when they can't be read.
  static void reachability(uint32_t* flags);
};

// The OS version and identifiers the signal component reports.
class ZADGestureIdUtil {
 public:
  static ZADGestureIdUtil& sharedInstance();
  ZADGestureIdUtil() : userDefaults_(platform::UserDefaults::standard()) {}

  std::string osVersion() const;
  // Each part of the version through the pointers given, 0 for a missing part.
  static void getOSMajorMinorBugFix(int32_t* major, int32_t* minor, int32_t* bugFix);
  static bool isOSAtLeast(int32_t major, int32_t minor, int32_t bug);
  // From 6.0.0 on the advertising identifier, else an identifier made once and kept.
  std::string deviceIdentifier();
  int32_t deviceIdentifierType() const;
  bool deviceOptedOut() const;
  void setUserDefaults(std::shared_ptr<platform::UserDefaults> userDefaults) {
    userDefaults_ = std::move(userDefaults);
  }

 private:
  std::shared_ptr<platform::UserDefaults> userDefaults_;
};
