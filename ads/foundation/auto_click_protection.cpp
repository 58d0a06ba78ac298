#include "ads/foundation/auto_click_protection.h"

#include "ads/foundation/pinger.h"
#include "ads/foundation/url_additions.h"

namespace {

constexpr std::string_view kNavigationURLPlaceholder = "{NAVIGATION_URL}";

}  // namespace

std::optional<ZADAutoClickProtection> ZADAutoClickProtection::initWithDictionary(
    const std::optional<platform::Dictionary>& dictionary) {
  if (!dictionary) return std::nullopt;
  ZADAutoClickProtection protection;
  if (const platform::Value* enabled = dictionary->find("enable_protection")) {
    protection.enabled_ = enabled->boolOr(false);
  }
  const platform::Value* urls = dictionary->find("reporting_urls");
  if (const platform::Value::Array* list = urls ? urls->arrayIf() : nullptr) {
    for (const platform::Value& url : *list) {
      if (const std::string* text = url.stringIf()) {
        protection.reportingURLStringTemplates_.push_back(*text);
      }
    }
  }
  return protection;
}

std::vector<std::string> ZADAutoClickProtection::reportingURLStrings(
    const std::optional<std::string>& navigationURLString) const {
  const std::string escaped = zad_stringByEscapingAsURLParameter(navigationURLString.value_or(""));
  std::vector<std::string> urls;
  for (std::string url : reportingURLStringTemplates_) {
    for (size_t at = url.find(kNavigationURLPlaceholder); at != std::string::npos;
         at = url.find(kNavigationURLPlaceholder, at + escaped.size())) {
      url.replace(at, kNavigationURLPlaceholder.size(), escaped);
    }
    urls.push_back(std::move(url));
  }
  return urls;
}

void ZADAutoClickProtection::reportSpamOpenActionWithNavigationURLString(
    const std::optional<std::string>& navigationURLString) const {
  for (const std::string& url : reportingURLStrings(navigationURLString)) {
    ZADPinger::sharedInstance()->pingURLString(url, nullptr, nullptr);
  }
}
