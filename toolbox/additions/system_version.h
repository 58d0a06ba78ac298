#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Which version and build of the operating system the process runs on. The numbers are worked
// out once, on first use; the build is read on first use too (and again while it is unknown).
class ZSDK_ZTMSystemVersion {
 public:
  // Stores the major, minor and bug-fix numbers through the pointers that are given.
  static void getMajor(int32_t* major, int32_t* minor, int32_t* bugFix);

  static std::string build();
  // Comparisons of the build with a text, case-insensitive, digit runs by their value.
  static bool isBuildLessThan(std::string_view build);
  static bool isBuildLessThanOrEqualTo(std::string_view build);
  static bool isBuildGreaterThan(std::string_view build);
  static bool isBuildGreaterThanOrEqualTo(std::string_view build);
  static bool isBuildEqualTo(std::string_view build);

  static std::string runtimeArchitecture();
};

namespace toolbox {

struct SystemVersionNumbers {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t bugFix = 0;  // 0 for a version of two parts
};

// Reads "major.minor" or "major.minor.bugFix". A version of another shape, or with major 0, is a
// programming error: reported, and the numbers it has stay 0.
SystemVersionNumbers parseSystemVersion(std::string_view version);

}  // namespace toolbox
