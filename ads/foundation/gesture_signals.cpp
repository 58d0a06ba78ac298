#include "ads/foundation/gesture_signals.h"

#include <limits>
#include <map>
#include <tuple>
#include <vector>

#include "ads/foundation/application.h"
#include "ads/foundation/device.h"
#include "ads/foundation/string_encoding.h"
#include "platform/foundation/battery.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/text_number.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/reachability/network_reachability.h"
#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace {

constexpr const char* kAppIdentifierKey = "madAppId";

platform::Mutex gViewClassesMutex;
std::map<std::string, std::function<bool(const platform::ui::View&)>, std::less<>>& viewClasses()
    VKR_REQUIRES(gViewClassesMutex) {
  static auto* classes =
      new std::map<std::string, std::function<bool(const platform::ui::View&)>, std::less<>>();
  return *classes;
}

std::function<bool(const platform::ui::View&)> viewClass(std::string_view name) {
  platform::MutexLock lock(gViewClassesMutex);
  auto found = viewClasses().find(name);
  return found == viewClasses().end() ? nullptr : found->second;
}

// The overlap of two rectangles; the null rectangle when they share no area.
ZADRect intersection(const ZADRect& a, const ZADRect& b) {
  const double left = std::max(a.x(), b.x()), right = std::min(a.maxX(), b.maxX());
  const double top = std::max(a.y(), b.y()), bottom = std::min(a.maxY(), b.maxY());
  if (left >= right || top >= bottom) return ZADNullRect();
  return ZADRect(left, top, right - left, bottom - top);
}

// The 16 bytes of a UUID text ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), in UUID order.
std::optional<platform::Bytes> uuidBytes(std::string_view text) {
  std::string hex;
  for (char c : text) {
    if (c != '-') hex.push_back(c);
  }
  if (hex.size() != 32 || text.size() != 36) return std::nullopt;
  return ZAD_ZTMStringEncoding::hexStringEncoding().decode(hex);
}

}  // namespace

const char* ZADGestureCopyUTF8CString(const std::optional<std::string>& string, bool& mustFree) {
  if (!string) return nullptr;
  mustFree = false;
  return string->c_str();
}

bool ZADGestureReachabilityFlags(uint32_t* flags) {
  if (!flags) return false;
  ZADGestureUtil::reachability(flags);
  return true;
}

void ZADGestureUtil::reachability(uint32_t* flags) {
  std::shared_ptr<platform::NetworkReachability> route =
      platform::NetworkReachability::forDefaultRoute();
  if (!route) return;
  *flags = route->flags().value_or(0);
}

std::string ZADGestureWebSafeBase64String(const uint8_t* bytes, uint32_t length) {
  ZAD_ZTMStringEncoding coder = ZAD_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
  coder.setDoPad(false);
  return coder.encode(bytes, length);
}

uint64_t ZADGestureBatteryInfo() {
  const platform::BatteryStatus battery = platform::batteryStatus();
  const auto level = static_cast<int32_t>(battery.level ? *battery.level * 100 : -100);
  return uint64_t(static_cast<uint32_t>(battery.state)) << 32 | static_cast<uint32_t>(level);
}

void ZADGestureRegisterViewClass(std::string name,
                                 std::function<bool(const platform::ui::View&)> isKindOf) {
  platform::MutexLock lock(gViewClassesMutex);
  viewClasses()[std::move(name)] = std::move(isKindOf);
}

ZADRect ZADNullRect() {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  return ZADRect(kInfinity, kInfinity, 0, 0);
}

bool ZADRectIsNull(const ZADRect& rect) { return rect == ZADNullRect(); }

ZADRect ZADGestureVisibleFrameOfViewClass(std::string_view className) {
  const auto isTarget = viewClass(className);
  if (!isTarget) return ZADNullRect();
  std::optional<ZADRect> target;
  std::vector<std::shared_ptr<platform::ui::View>> stack;
  if (auto window = platform::ui::Application::shared().keyWindow()) stack.push_back(window);
  while (!stack.empty()) {
    std::shared_ptr<platform::ui::View> view = std::move(stack.back());
    stack.pop_back();
    if (view->isHidden()) continue;
    if (isTarget(*view)) {
      // Only the first view of the class counts; it and its subviews are not what covers it.
      if (!target) target = view->convertRect(view->bounds(), nullptr);
      continue;
    }
    if (target) {
      const ZADRect covered = intersection(view->convertRect(view->bounds(), nullptr), *target);
      if (!ZADRectIsNull(covered)) return covered;
    }
    const auto& subviews = view->subviews();
    stack.insert(stack.end(), subviews.rbegin(), subviews.rend());
  }
  return target ? ZADRect() : ZADNullRect();
}

void ZADSignalsConvertIdentifier(const char* text, size_t length, uint8_t* output) {
  const platform::Bytes digest = platform::md5(std::string_view(text, length));
  std::copy(digest.begin(), digest.begin() + 16, output);
}

bool ZADGestureProcessString(const std::optional<std::string>& string, uint8_t* output) {
  bool mustFree = false;
  const char* text = ZADGestureCopyUTF8CString(string, mustFree);
  if (!text || !output) return false;
  ZADSignalsConvertIdentifier(text, string->size(), output);
  return true;
}

ZADGestureDeviceIdentifier ZADGestureDeviceIdentifierBytes() {
  ZADGestureIdUtil& util = ZADGestureIdUtil::sharedInstance();
  ZADGestureDeviceIdentifier record;
  record.optedOut = util.deviceOptedOut();
  record.identifierType = util.deviceIdentifierType();
  const std::string identifier = util.deviceIdentifier();
  if (record.identifierType == 0) {
    record.identifier = identifier;
  } else if (record.identifierType == 4) {
    if (std::optional<platform::Bytes> bytes = uuidBytes(identifier)) {
      record.identifier = ZADGestureWebSafeBase64String(bytes->data(), bytes->size());
    }
  } else {
    uint8_t output[16];
    if (ZADGestureProcessString(identifier, output)) {
      record.identifier = ZADGestureWebSafeBase64String(output, sizeof output);
    }
  }
  return record;
}

ZADGestureIdUtil& ZADGestureIdUtil::sharedInstance() {
  static ZADGestureIdUtil* instance = new ZADGestureIdUtil();  // lives as long as the process
  return *instance;
}

std::string ZADGestureIdUtil::osVersion() const {
  return ZADDevice::sharedInstance().systemVersion();
}

void ZADGestureIdUtil::getOSMajorMinorBugFix(int32_t* major, int32_t* minor, int32_t* bugFix) {
  const std::string version = sharedInstance().osVersion();
  std::vector<std::string_view> parts;
  for (size_t start = 0; start <= version.size();) {
    const size_t end = std::min(version.find('.', start), version.size());
    parts.push_back(std::string_view(version).substr(start, end - start));
    start = end + 1;
  }
  int32_t* outputs[] = {major, minor, bugFix};
  for (size_t i = 0; i < 3; ++i) {
    if (!outputs[i]) continue;
    *outputs[i] =
        i < parts.size() ? static_cast<int32_t>(platform::integerValueOfText(parts[i])) : 0;
  }
}

bool ZADGestureIdUtil::isOSAtLeast(int32_t major, int32_t minor, int32_t bug) {
  int32_t parts[3];
  getOSMajorMinorBugFix(&parts[0], &parts[1], &parts[2]);
  return std::make_tuple(parts[0], parts[1], parts[2]) >= std::make_tuple(major, minor, bug);
}

std::string ZADGestureIdUtil::deviceIdentifier() {
  if (isOSAtLeast(6, 0, 0)) return ZADApplication::kNoAdvertisingIdentifier;
  if (std::optional<std::string> stored = userDefaults_->stringForKey(kAppIdentifierKey))
    return *stored;
  const std::string made = platform::randomUUIDString();
  (void)userDefaults_->setObject(made, kAppIdentifierKey);
  return made;
}

int32_t ZADGestureIdUtil::deviceIdentifierType() const { return isOSAtLeast(6, 0, 0) ? 4 : 1; }

bool ZADGestureIdUtil::deviceOptedOut() const {
  return isOSAtLeast(6, 0, 0) && ZADDevice::sharedInstance().limitAdTracking();
}
