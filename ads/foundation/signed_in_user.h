#pragma once

// The user signed in through the optional sign-in library an app may link, as the ads engine
// keys its signed-in tokens by.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/value.h"

// The sign-in library's class name. The library registers under it a factory that answers its
// shared instance (platform::ClassRegistry<platform::KeyValueObservable>): an observable object
// whose "clientID" is the app's OAuth client id (text) and whose "currentUser" is null or a
// dictionary with the user's "idToken" (a three-part token) and "refreshToken" (text).
inline constexpr const char* kZADSignInClassName = "ZIDSignIn";

// The sign-in library's shared instance; null when the app links none.
std::shared_ptr<platform::KeyValueObservable> ZADSignInSharedInstance();

// Equal, and ordered, by issuer and user id: the same user whatever the tokens.
struct ZADSignedInUser {
  std::string issuer;
  std::string userID;
  std::string applicationID;
  std::string refreshToken;

  // The library's current user when signed-in ads are switched on and the library has a client
  // id and a user whose identity token carries "iss" and "sub", and a refresh token.
  static std::optional<ZADSignedInUser> current();
  // The record from an identity token's middle part (web-safe base64 of a JSON dictionary).
  static std::optional<ZADSignedInUser> fromIdentityToken(const std::string& identityToken,
                                                          std::string applicationID,
                                                          std::string refreshToken);

  // As kept in the user defaults, and back (nothing for another shape).
  platform::Value encoded() const;
  static std::optional<ZADSignedInUser> decoded(const platform::Value& value);

  bool operator==(const ZADSignedInUser& other) const {
    return issuer == other.issuer && userID == other.userID;
  }
  bool operator<(const ZADSignedInUser& other) const {
    return issuer != other.issuer ? issuer < other.issuer : userID < other.userID;
  }
};
