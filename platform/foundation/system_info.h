#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Facts about the machine and the user's settings, read from the system each time they are
// asked for (all cheap).

// The hardware name uname reports ("x86_64", "aarch64").
std::string machineName();

// The operating system's name ("Debian GNU/Linux") and version padded to three parts ("12.0.0"),
// from /etc/os-release; without one, the kernel's name and the numbers of its release.
std::string systemName();
std::string systemVersion();
// The build of the running system: the kernel's release ("6.1.0-18-amd64"); empty when unknown.
std::string systemBuild();

// A text naming the device: the firmware's product name when it tells one, else "Linux PC".
std::string deviceModel();

// The user's locale as a platform locale identifier ("en_US.UTF-8" gives "en_US"), from LC_ALL,
// LC_MESSAGES or LANG, the first that is set; "en_US" when none is or the locale is C/POSIX.
std::string currentLocaleIdentifier();
// Posted on the default notification center when the current locale changes. A process's locale
// is fixed at its start on Linux, so only tests post it.
inline constexpr const char* kCurrentLocaleDidChangeNotification =
    "NSCurrentLocaleDidChangeNotification";

// The user's languages in order as language tags ("en-US"): LANGUAGE's list when set, else the
// language of the current locale. Never empty.
std::vector<std::string> preferredLanguages();

// The local time zone's identifier ("Europe/Berlin"): from TZ, else the zone /etc/localtime
// links to, else /etc/timezone; "UTC" when none tells.
std::string timeZoneIdentifier();

// The rules behind systemName() and systemVersion(), for a given os-release text.
struct OSRelease {
  std::string name;
  std::string version;  // padded to three parts; empty when the text has none
};
OSRelease parseOSRelease(std::string_view text);

// "12" → "12.0.0", "22.04" → "22.04.0", "6.1.0-18-amd64" → "6.1.0": the leading numeric parts,
// cut or padded with zeros to `parts` parts; empty when the text starts with no number.
std::string paddedVersion(std::string_view version, size_t parts = 3);

}  // namespace platform
