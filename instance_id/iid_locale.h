#pragma once
// The device facts the check-in reports: the hardware model and the user's locale in the identity
// service's conventions.
#include <map>
#include <string>
#include <vector>

class VIZInstanceIDDevice {
 public:
  static const VIZInstanceIDDevice& currentDevice();
  // The hardware machine name uname reports ("x86_64").
  const std::string& modelVersion() const { return machineName_; }

 private:
  VIZInstanceIDDevice();
  std::string machineName_;
};

// The user's language, locale and country in the service's codes; computed once, at creation.
class VIZInstanceIDLocale {
 public:
  using LanguageMapping = std::map<std::string, std::string, std::less<>>;

  static const VIZInstanceIDLocale& zorovaLocale();
  // Platform language codes that the service names otherwise ("zh-Hant" is "zh-TW", ...).
  static LanguageMapping defaultAppleToZorovaMapping();

  explicit VIZInstanceIDLocale(LanguageMapping mapping);

  const std::string& language() const { return language_; }
  const std::string& locale() const { return locale_; }
  const std::string& countryCode() const { return countryCode_; }

  // The service language of the first of the user's languages ("en" when there are none).
  std::string zorovaLanguageWithAppleLanguages(const std::vector<std::string>& languages) const;
  // The locale: the service language's first two letters and the identifier's region
  // ("zh-TW" and "zh-Hant_TW" give "zh_TW").
  static std::string zorovaLocaleWithZorovaLanguage(const std::string& language,
                                                    const std::string& appleLocale);
  // Lower-case region of a locale ("gb" read as "uk"); "us" when there is none.
  static std::string countryCodeForLocale(const std::string& locale);
  static std::string currentLocaleCountryCode();

 private:
  LanguageMapping appleLanguageToZorovaLanguage_;
  std::string language_;
  std::string locale_;
  std::string countryCode_;
};
