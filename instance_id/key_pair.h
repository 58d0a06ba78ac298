#pragma once
// The installation's RSA-2048 key pair, kept as two key items of the keychain told apart by their
// application tags; the app identity derived from its public key; and the raw signing of
// registration requests. Immutable once made; any thread.
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/rsa_key.h"

class VIZInstanceIDKeyPair {
 public:
  VIZInstanceIDKeyPair(std::optional<platform::RSAKey> privateKey,
                       std::optional<platform::RSAKey> publicKey, platform::Bytes publicKeyData)
      : privateKey_(std::move(privateKey)),
        publicKey_(std::move(publicKey)),
        publicKeyData_(std::move(publicKeyData)) {}

  // Makes a pair and stores both halves under the tags (replacing keys those tags held). A
  // failure is an error of the client's domain whose code is the key generation's or keychain's
  // status, with the user info {"reason": "Failed to generate a valid keyPair"}.
  static platform::Result<VIZInstanceIDKeyPair> generateRSA2048KeyPair(
      const std::string& privateTag, const std::string& publicTag);
  // The stored pair: 2002 for an empty tag, 2003 without the private key, 2004 without the
  // public one.
  static platform::Result<VIZInstanceIDKeyPair> keyPairForPrivateKeyTag(
      const std::string& privateTag, const std::string& publicTag);
  // The stored public key's exported bytes (PKCS#1 RSAPublicKey DER).
  static std::optional<platform::Bytes> publicKeyDataWithTag(const std::string& tag);
  // Deletes both halves; keys that are not there count as deleted.
  static bool deleteKeyPairWithPrivateTag(const std::string& privateTag,
                                          const std::string& publicTag,
                                          std::optional<platform::Error>* error);
  // The first 8 bytes of the public key data's SHA-1, the first byte's high nibble set to 9, in
  // unpadded web-safe base64 (11 characters); nothing without a public key.
  static std::optional<std::string> appIdentityWithKeyPair(const VIZInstanceIDKeyPair& keyPair);

  bool isValid() const { return privateKey_.has_value() && publicKey_.has_value(); }
  const std::optional<platform::RSAKey>& privateKey() const { return privateKey_; }
  const std::optional<platform::RSAKey>& publicKey() const { return publicKey_; }
  const platform::Bytes& publicKeyData() const { return publicKeyData_; }

 private:
  std::optional<platform::RSAKey> privateKey_;
  std::optional<platform::RSAKey> publicKey_;
  platform::Bytes publicKeyData_;
};

// Unpadded base64 with the web-safe alphabet ("-" and "_").
std::string VIZInstanceIDWebSafeBase64(const platform::Bytes& data);
// The "pub2" value: the web-safe base64 of the public key data; nothing without a public key.
std::optional<std::string> VIZInstanceIDPublicKeyString(const VIZInstanceIDKeyPair& keyPair);
platform::Bytes VIZInstanceIDSHA1(const platform::Bytes& data);
// The texts joined by "\n".
std::string VIZInstanceIDJoinParams(std::initializer_list<std::string_view> params);

// The bare private-key operation on each block-sized chunk of the data in turn (a shorter last
// chunk is zero-padded on the left to a full block), the outputs concatenated; nothing (logged)
// when an operation fails.
std::optional<platform::Bytes> VIZInstanceIDSignData(const platform::RSAKey& privateKey,
                                                     const platform::Bytes& data);
// The signature of the text's UTF-8 bytes in unpadded web-safe base64; nothing (logged) when it
// is empty or signing fails.
std::optional<std::string> VIZInstanceIDSignParams(const platform::RSAKey& privateKey,
                                                   const std::string& params);
