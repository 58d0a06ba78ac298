#include "toolbox/url/url_builder.h"

#include <functional>

#include "platform/foundation/assertion.h"
#include "platform/foundation/text_number.h"
#include "toolbox/url/url_arguments.h"

std::optional<ZSDK_ZTMURLBuilder> ZSDK_ZTMURLBuilder::builderWithString(
    std::optional<std::string_view> text) {
  if (!text) {
    platform::assertionFailure("URL must not be nil");
    return std::nullopt;
  }
  platform::Result<platform::URL> url = platform::URL::parse(*text);
  if (!url) {
    platform::assertionFailure("URL is invalid");
    return std::nullopt;
  }
  return builderWithURL(*url);
}

std::optional<ZSDK_ZTMURLBuilder> ZSDK_ZTMURLBuilder::builderWithURL(const platform::URL& url) {
  std::string base = url.absoluteString();
  platform::Dictionary params;
  if (const std::optional<std::string>& query = url.query()) {
    const size_t found = base.rfind(*query);
    if (found != std::string::npos && found > 0) base.resize(found - 1);
    params = ztm_dictionaryWithHttpArgumentsString(*query);
  }
  return ZSDK_ZTMURLBuilder(std::move(base), std::move(params));
}

void ZSDK_ZTMURLBuilder::setValue(std::string value, std::string parameter) {
  params_.set(std::move(parameter), std::move(value));
}

void ZSDK_ZTMURLBuilder::setIntegerValue(int64_t value, std::string parameter) {
  setValue(std::to_string(value), std::move(parameter));
}

std::optional<std::string> ZSDK_ZTMURLBuilder::valueForParameter(std::string_view parameter) const {
  const platform::Value* value = params_.find(parameter);
  if (!value || !value->stringIf()) return std::nullopt;
  return *value->stringIf();
}

int64_t ZSDK_ZTMURLBuilder::integerValueForParameter(std::string_view parameter) const {
  return platform::integerValueOfText(valueForParameter(parameter).value_or(""));
}

void ZSDK_ZTMURLBuilder::removeParameter(std::string_view parameter) { params_.remove(parameter); }

std::optional<platform::URL> ZSDK_ZTMURLBuilder::URL() const {
  const std::string text =
      params_.empty() ? baseURLString_ : baseURLString_ + "?" + ztm_httpArgumentsString(params_);
  platform::Result<platform::URL> url = platform::URL::parse(text);
  if (!url) return std::nullopt;
  return *url;
}

std::string ZSDK_ZTMURLBuilder::URLString() const {
  std::optional<platform::URL> url = URL();
  return url ? url->absoluteString() : std::string();
}

bool ZSDK_ZTMURLBuilder::operator==(const ZSDK_ZTMURLBuilder& other) const {
  return baseURLString_ == other.baseURLString_ && params_ == other.params_;
}

size_t ZSDK_ZTMURLBuilder::hash() const {
  // Equal parameters in any order must hash alike: the entries' hashes are summed.
  size_t paramsHash = 0;
  for (const auto& [name, value] : params_) {
    paramsHash += std::hash<std::string>{}(name)*31 + std::hash<std::string>{}(value.stringOr(""));
  }
  return std::hash<std::string>{}(baseURLString_)*17 + paramsHash * 37;
}
