#include "platform/foundation/system_info.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace platform {
namespace {

// Sets environment variables for one test and restores them after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
      if (value) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    }
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(SystemInfoTest, VersionsArePaddedToThreeParts) {
  struct Case {
    const char* text;
    const char* padded;
  };
  const Case cases[] = {
      {"12", "12.0.0"},     {"22.04", "22.04.0"}, {"6.1.0-18-amd64", "6.1.0"},
      {"1.2.3.4", "1.2.3"}, {"11.", "11.0.0"},    {"", ""},
      {"bookworm", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(paddedVersion(c.text), c.padded) << c.text;
}

TEST(SystemInfoTest, ReadsNameAndVersionFromOSRelease) {
  OSRelease release = parseOSRelease(
      "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
      "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nID=debian\n");
  EXPECT_EQ(release.name, "Debian GNU/Linux");
  EXPECT_EQ(release.version, "12.0.0");
  OSRelease bare = parseOSRelease("NAME=Arch\n# rolling, no version\nbroken line\n");
  EXPECT_EQ(bare.name, "Arch");
  EXPECT_EQ(bare.version, "");

  // Whatever this machine is, its version has three numeric parts.
  EXPECT_EQ(paddedVersion(systemVersion()), systemVersion());
  EXPECT_FALSE(systemName().empty());
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  EXPECT_EQ(machineName(), names.machine);
  EXPECT_EQ(systemBuild(), names.release);
}

TEST(SystemInfoTest, LocaleAndLanguagesComeFromTheEnvironment) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    const char* language;
    const char* locale;
    std::vector<std::string> languages;
  };
  const Case cases[] = {
      {nullptr, nullptr, "en_US.UTF-8", nullptr, "en_US", {"en-US"}},
      {"de_DE.UTF-8", "fr_FR", "en_US.UTF-8", nullptr, "de_DE", {"de-DE"}},
      {"", "fr_FR@euro", "en_US", nullptr, "fr_FR", {"fr-FR"}},
      {nullptr, nullptr, "C.UTF-8", nullptr, "en_US", {"en-US"}},
      {nullptr, nullptr, nullptr, nullptr, "en_US", {"en-US"}},
      {nullptr, nullptr, "pt_BR.UTF-8", "pt_BR:pt:en:pt", "pt_BR", {"pt-BR", "pt", "en"}},
      {nullptr, nullptr, "sv_SE", "C:", "sv_SE", {"sv-SE"}},
      {nullptr, nullptr, "sv_SE", "::de_DE.UTF-8::fr:", "sv_SE", {"de-DE", "fr"}},
      {nullptr, nullptr, "not a locale", nullptr, "en_US", {"en-US"}},
  };
  for (const Case& c : cases) {
    ScopedEnvironment env({{"LC_ALL", c.lcAll},
                           {"LC_MESSAGES", c.lcMessages},
                           {"LANG", c.lang},
                           {"LANGUAGE", c.language}});
    EXPECT_EQ(currentLocaleIdentifier(), c.locale) << c.lang;
    EXPECT_EQ(preferredLanguages(), c.languages) << c.lang;
  }
}

TEST(SystemInfoTest, TimeZoneFromTZ) {
  struct Case {
    const char* tz;
    const char* zone;
  };
  const Case cases[] = {
      {"Europe/Berlin", "Europe/Berlin"},
      {":America/New_York", "America/New_York"},
      {"/usr/share/zoneinfo/Asia/Tokyo", "Asia/Tokyo"},
      {"/usr/share/zoneinfo/posix/Europe/Paris", "Europe/Paris"},
      {"UTC", "UTC"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment env({{"TZ", c.tz}});
    EXPECT_EQ(timeZoneIdentifier(), c.zone) << c.tz;
  }
  ScopedEnvironment unset({{"TZ", nullptr}});
  EXPECT_FALSE(timeZoneIdentifier().empty());
}

}  // namespace
}  // namespace platform
