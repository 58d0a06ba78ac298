#include "instance_id/iid_locale.h"

#include <algorithm>

#include "instance_id/iid_utilities.h"
#include "platform/foundation/system_info.h"
#include "platform/storage/user_defaults.h"

namespace {

std::string countryCodeForRegion(std::string region) {
  std::transform(region.begin(), region.end(), region.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return region == "gb" ? "uk" : region;
}

std::vector<std::string> appleLanguages() {
  std::vector<std::string> languages;
  if (auto list = platform::UserDefaults::standard()->arrayForKey("AppleLanguages")) {
    for (const platform::Value& language : *list) {
      if (const std::string* text = language.stringIf()) languages.push_back(*text);
    }
  }
  return languages;
}

}  // namespace

const VIZInstanceIDDevice& VIZInstanceIDDevice::currentDevice() {
  static const VIZInstanceIDDevice device;
  return device;
}

VIZInstanceIDDevice::VIZInstanceIDDevice() : machineName_(platform::machineName()) {}

const VIZInstanceIDLocale& VIZInstanceIDLocale::zorovaLocale() {
  static const VIZInstanceIDLocale locale(defaultAppleToZorovaMapping());
  return locale;
}

VIZInstanceIDLocale::LanguageMapping VIZInstanceIDLocale::defaultAppleToZorovaMapping() {
  return {{"zh-Hant", "zh-TW"}, {"zh-Hans", "zh-CN"}, {"nb", "no"}, {"he", "iw"}};
}

VIZInstanceIDLocale::VIZInstanceIDLocale(LanguageMapping mapping)
    : appleLanguageToZorovaLanguage_(std::move(mapping)) {
  language_ = zorovaLanguageWithAppleLanguages(appleLanguages());
  locale_ = zorovaLocaleWithZorovaLanguage(language_, platform::currentLocaleIdentifier());
  countryCode_ = countryCodeForLocale(locale_);
}

std::string VIZInstanceIDLocale::zorovaLanguageWithAppleLanguages(
    const std::vector<std::string>& languages) const {
  const std::string language = languages.empty() ? "en" : languages.front();
  if (language == "zh-Hant" && currentLocaleCountryCode() == "HK") return "zh-HK";
  if (language == "pt") return currentLocaleCountryCode() == "PT" ? "pt-PT" : "pt-BR";
  auto mapped = appleLanguageToZorovaLanguage_.find(language);
  return mapped != appleLanguageToZorovaLanguage_.end() ? mapped->second : language;
}

std::string VIZInstanceIDLocale::zorovaLocaleWithZorovaLanguage(const std::string& language,
                                                                const std::string& appleLocale) {
  if (language.size() < 2) return appleLocale;
  const std::string identifier = appleLocale.substr(0, appleLocale.find('@'));
  std::vector<std::string> parts = VIZInstanceIDSplit(identifier, "_");
  if (parts.size() < 2) return identifier;
  return language.substr(0, 2) + "_" + parts[1];
}

std::string VIZInstanceIDLocale::countryCodeForLocale(const std::string& locale) {
  std::vector<std::string> parts = VIZInstanceIDSplit(locale, "_");
  if (parts.size() == 2 && parts[1].size() >= 2) return countryCodeForRegion(parts[1]);
  return "us";
}

std::string VIZInstanceIDLocale::currentLocaleCountryCode() {
  std::vector<std::string> parts = VIZInstanceIDSplit(platform::currentLocaleIdentifier(), "_");
  return parts.size() >= 2 ? parts[1] : "";
}
