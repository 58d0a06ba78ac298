#include "toolbox/additions/system_version.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "platform/foundation/assertion.h"
#include "platform/foundation/log.h"
#include "platform/foundation/system_info.h"
#include "platform/foundation/text_compare.h"
#include "platform/foundation/text_number.h"
#include "platform/foundation/thread_annotations.h"

namespace {

int32_t intValue(std::string_view text) {
  return static_cast<int32_t>(std::clamp<int64_t>(platform::integerValueOfText(text),
                                                  std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// The platform's device always tells its version, so no second source is needed.
const toolbox::SystemVersionNumbers& versionNumbers() {
  static const toolbox::SystemVersionNumbers numbers = [] {
    const std::string version = platform::systemVersion();
    if (version.empty()) {
      platform::assertionFailure("Unable to get version");
      return toolbox::SystemVersionNumbers{};
    }
    return toolbox::parseSystemVersion(version);
  }();
  return numbers;
}

std::weak_ordering compareBuild(std::string_view other) {
  return platform::compareTextNumerically(ZSDK_ZTMSystemVersion::build(), other);
}

}  // namespace

namespace toolbox {

SystemVersionNumbers parseSystemVersion(std::string_view version) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t dot = version.find('.', start);
    parts.push_back(version.substr(start, dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  SystemVersionNumbers numbers;
  if (parts.size() < 2 || parts.size() > 3) {
    platform::assertionFailure(platform::format("Unparseable version %.*s",
                                                static_cast<int>(version.size()), version.data()));
    return numbers;
  }
  numbers.major = intValue(parts[0]);
  if (numbers.major == 0) {
    platform::assertionFailure(platform::format("Unknown version for %.*s",
                                                static_cast<int>(version.size()), version.data()));
  }
  numbers.minor = intValue(parts[1]);
  if (parts.size() == 3) numbers.bugFix = intValue(parts[2]);
  return numbers;
}

}  // namespace toolbox

void ZSDK_ZTMSystemVersion::getMajor(int32_t* major, int32_t* minor, int32_t* bugFix) {
  const toolbox::SystemVersionNumbers& numbers = versionNumbers();
  if (major) *major = numbers.major;
  if (minor) *minor = numbers.minor;
  if (bugFix) *bugFix = numbers.bugFix;
}

std::string ZSDK_ZTMSystemVersion::build() {
  struct Known {
    platform::Mutex mutex;
    std::optional<std::string> build VKR_GUARDED_BY(mutex);
  };
  static Known known;
  platform::MutexLock lock(known.mutex);
  if (!known.build) {
    std::string build = platform::systemBuild();
    if (build.empty()) {
      platform::assertionFailure("Unable to get build version");
      return build;
    }
    known.build = std::move(build);
  }
  return *known.build;
}

bool ZSDK_ZTMSystemVersion::isBuildLessThan(std::string_view build) {
  return compareBuild(build) < 0;
}
bool ZSDK_ZTMSystemVersion::isBuildLessThanOrEqualTo(std::string_view build) {
  return compareBuild(build) <= 0;
}
bool ZSDK_ZTMSystemVersion::isBuildGreaterThan(std::string_view build) {
  return compareBuild(build) > 0;
}
bool ZSDK_ZTMSystemVersion::isBuildGreaterThanOrEqualTo(std::string_view build) {
  return compareBuild(build) >= 0;
}
bool ZSDK_ZTMSystemVersion::isBuildEqualTo(std::string_view build) {
  return compareBuild(build) == 0;
}

std::string ZSDK_ZTMSystemVersion::runtimeArchitecture() { return "iPhone"; }
