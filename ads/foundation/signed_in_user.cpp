#include "ads/foundation/signed_in_user.h"

#include "ads/foundation/sdk_core_services.h"
#include "ads/foundation/string_encoding.h"
#include "platform/foundation/class_registry.h"
#include "platform/foundation/json.h"
#include "platform/storage/user_defaults.h"

namespace {

// The text under the key, or "" when it holds none.
std::string textAt(const platform::Dictionary& dictionary, std::string_view key) {
  const platform::Value* value = dictionary.find(key);
  return value ? value->stringOr("") : std::string();
}

}  // namespace

std::shared_ptr<platform::KeyValueObservable> ZADSignInSharedInstance() {
  return platform::ClassRegistry<platform::KeyValueObservable>::instance().create(
      kZADSignInClassName);
}

std::optional<ZADSignedInUser> ZADSignedInUser::current() {
  if (!platform::UserDefaults::standard()->boolForKey(
          ZADServerConstantKey("enable_signed_in_ads"))) {
    return std::nullopt;
  }
  const std::shared_ptr<platform::KeyValueObservable> library = ZADSignInSharedInstance();
  if (!library) return std::nullopt;
  const std::string clientID = library->valueForKey("clientID").stringOr("");
  const platform::Value user = library->valueForKey("currentUser");
  const platform::Dictionary* fields = user.dictionaryIf();
  if (clientID.empty() || !fields) return std::nullopt;
  return fromIdentityToken(textAt(*fields, "idToken"), clientID, textAt(*fields, "refreshToken"));
}

std::optional<ZADSignedInUser> ZADSignedInUser::fromIdentityToken(const std::string& identityToken,
                                                                  std::string applicationID,
                                                                  std::string refreshToken) {
  const size_t first = identityToken.find('.');
  const size_t second = first == std::string::npos ? first : identityToken.find('.', first + 1);
  if (second == std::string::npos || identityToken.find('.', second + 1) != std::string::npos ||
      refreshToken.empty()) {
    return std::nullopt;
  }
  const std::optional<std::string> claims =
      ZAD_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding().stringByDecoding(
          std::string_view(identityToken).substr(first + 1, second - first - 1));
  if (!claims) return std::nullopt;
  platform::Result<platform::Value> json = platform::parseJSON(*claims);
  const platform::Dictionary* dictionary = json.ok() ? json->dictionaryIf() : nullptr;
  if (!dictionary) return std::nullopt;
  ZADSignedInUser user{textAt(*dictionary, "iss"), textAt(*dictionary, "sub"),
                       std::move(applicationID), std::move(refreshToken)};
  if (user.issuer.empty() || user.userID.empty()) return std::nullopt;
  return user;
}

platform::Value ZADSignedInUser::encoded() const {
  return platform::Value::dictionary({{"issuer", issuer},
                                      {"userID", userID},
                                      {"applicationID", applicationID},
                                      {"refreshToken", refreshToken}});
}

std::optional<ZADSignedInUser> ZADSignedInUser::decoded(const platform::Value& value) {
  const platform::Dictionary* fields = value.dictionaryIf();
  if (!fields) return std::nullopt;
  ZADSignedInUser user{textAt(*fields, "issuer"), textAt(*fields, "userID"),
                       textAt(*fields, "applicationID"), textAt(*fields, "refreshToken")};
  if (user.issuer.empty() || user.userID.empty()) return std::nullopt;
  return user;
}
