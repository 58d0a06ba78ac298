#include "instance_id/key_pair.h"

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"
#include "platform/foundation/crypto.h"
#include "platform/storage/keychain.h"
#include "toolbox/encoding/string_encoding.h"

namespace {

platform::Error generationError(int64_t status) {
  return platform::Error(
      kVIZInstanceIDErrorDomain, status,
      platform::Value::dictionary({{"reason", "Failed to generate a valid keyPair"}}));
}

std::optional<platform::RSAKey> storedKey(const std::string& tag, bool wantPrivate) {
  if (tag.empty()) return std::nullopt;
  platform::KeychainKey item;
  if (platform::Keychain::shared()->findKey(tag, &item) != platform::kKeychainSuccess) {
    return std::nullopt;
  }
  platform::Result<platform::RSAKey> key = wantPrivate
                                               ? platform::RSAKey::fromPrivateKeyDER(item.data)
                                               : platform::RSAKey::fromPublicKeyDER(item.data);
  if (!key.ok()) return std::nullopt;
  return *key;
}

platform::KeychainStatus deleteStoredKey(const std::string& tag) {
  platform::KeychainStatus status = platform::Keychain::shared()->deleteKeys(tag);
  return status == platform::kKeychainItemNotFound ? platform::kKeychainSuccess : status;
}

}  // namespace

platform::Result<VIZInstanceIDKeyPair> VIZInstanceIDKeyPair::generateRSA2048KeyPair(
    const std::string& privateTag, const std::string& publicTag) {
  platform::Result<platform::RSAKey> key = platform::RSAKey::generate(2048);
  if (!key.ok()) return generationError(key.error().code());
  platform::Result<platform::Bytes> privateDER = key->privateKeyDER();
  platform::Result<platform::Bytes> publicDER = key->publicKeyDER();
  if (!privateDER.ok() || !publicDER.ok()) {
    return generationError(platform::kCryptoOperationFailed);
  }
  platform::Result<platform::RSAKey> publicKey = platform::RSAKey::fromPublicKeyDER(*publicDER);
  if (!publicKey.ok()) return generationError(publicKey.error().code());

  // Keys left under the tags would shadow the new pair in later lookups.
  deleteStoredKey(privateTag);
  deleteStoredKey(publicTag);
  platform::Keychain& keychain = *platform::Keychain::shared();
  platform::KeychainStatus status =
      keychain.addKey({privateTag, platform::KeychainKeyClass::Private, *privateDER});
  if (status == platform::kKeychainSuccess) {
    status = keychain.addKey({publicTag, platform::KeychainKeyClass::Public, *publicDER});
    if (status != platform::kKeychainSuccess) deleteStoredKey(privateTag);
  }
  if (status != platform::kKeychainSuccess) return generationError(status);
  return VIZInstanceIDKeyPair(*key, *publicKey, *publicDER);
}

platform::Result<VIZInstanceIDKeyPair> VIZInstanceIDKeyPair::keyPairForPrivateKeyTag(
    const std::string& privateTag, const std::string& publicTag) {
  if (privateTag.empty() || publicTag.empty()) {
    return VIZInstanceIDError(kVIZInstanceIDErrorEmptyKeyTag);
  }
  std::optional<platform::RSAKey> privateKey = storedKey(privateTag, true);
  if (!privateKey) {
    VIZ_IID_LOG_ERROR("Error while retreiving private key with tag %s", privateTag.c_str());
    return VIZInstanceIDError(kVIZInstanceIDErrorMissingPrivateKey);
  }
  std::optional<platform::RSAKey> publicKey = storedKey(publicTag, false);
  if (!publicKey) {
    VIZ_IID_LOG_ERROR("Error while retreiving public key with tag %s", publicTag.c_str());
    return VIZInstanceIDError(kVIZInstanceIDErrorMissingPublicKey);
  }
  return VIZInstanceIDKeyPair(std::move(privateKey), std::move(publicKey),
                              publicKeyDataWithTag(publicTag).value_or(platform::Bytes()));
}

std::optional<platform::Bytes> VIZInstanceIDKeyPair::publicKeyDataWithTag(const std::string& tag) {
  platform::KeychainKey item;
  if (tag.empty() ||
      platform::Keychain::shared()->findKey(tag, &item) != platform::kKeychainSuccess) {
    return std::nullopt;
  }
  return item.data;
}

bool VIZInstanceIDKeyPair::deleteKeyPairWithPrivateTag(const std::string& privateTag,
                                                       const std::string& publicTag,
                                                       std::optional<platform::Error>* error) {
  bool deleted = true;
  if (platform::KeychainStatus status = deleteStoredKey(privateTag); status != 0) {
    VIZ_IID_LOG_ERROR("Error removing private key status: %d, tag: %s", status, privateTag.c_str());
    if (error) *error = VIZInstanceIDError(kVIZInstanceIDErrorMissingPrivateKey);
    deleted = false;
  }
  if (platform::KeychainStatus status = deleteStoredKey(publicTag); status != 0) {
    VIZ_IID_LOG_ERROR("Error removing public key status: %d, tag: %s", status, publicTag.c_str());
    if (error) *error = VIZInstanceIDError(kVIZInstanceIDErrorMissingPublicKey);
    deleted = false;
  }
  return deleted;
}

std::optional<std::string> VIZInstanceIDKeyPair::appIdentityWithKeyPair(
    const VIZInstanceIDKeyPair& keyPair) {
  if (!keyPair.publicKey()) {
    VIZ_IID_LOG_ERROR("Unable to create a valid asymmetric crypto key");
    return std::nullopt;
  }
  platform::Bytes digest = VIZInstanceIDSHA1(keyPair.publicKeyData());
  digest.resize(8);
  digest[0] = static_cast<uint8_t>(0x90 | (digest[0] & 0x0F));
  return VIZInstanceIDWebSafeBase64(digest);
}

std::string VIZInstanceIDWebSafeBase64(const platform::Bytes& data) {
  ZSDK_ZTMStringEncoding encoding = ZSDK_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
  encoding.setDoPad(false);
  return encoding.encode(data);
}

std::optional<std::string> VIZInstanceIDPublicKeyString(const VIZInstanceIDKeyPair& keyPair) {
  if (!keyPair.publicKey()) return std::nullopt;
  return VIZInstanceIDWebSafeBase64(keyPair.publicKeyData());
}

platform::Bytes VIZInstanceIDSHA1(const platform::Bytes& data) { return platform::sha1(data); }

std::string VIZInstanceIDJoinParams(std::initializer_list<std::string_view> params) {
  std::string joined;
  bool first = true;
  for (std::string_view param : params) {
    if (!first) joined += "\n";
    joined += param;
    first = false;
  }
  return joined;
}

std::optional<platform::Bytes> VIZInstanceIDSignData(const platform::RSAKey& privateKey,
                                                     const platform::Bytes& data) {
  const size_t blockSize = privateKey.blockSize();
  platform::Bytes signature;
  for (size_t offset = 0; offset < data.size(); offset += blockSize) {
    const size_t length = std::min(blockSize, data.size() - offset);
    platform::Bytes block(blockSize - length, 0);
    block.insert(block.end(), data.begin() + static_cast<ptrdiff_t>(offset),
                 data.begin() + static_cast<ptrdiff_t>(offset + length));
    platform::Result<platform::Bytes> signedBlock = privateKey.rawPrivateOperation(block);
    if (!signedBlock.ok()) {
      VIZ_IID_LOG_ERROR("Failed to sign data, status %d",
                        static_cast<int>(signedBlock.error().code()));
      return std::nullopt;
    }
    signature.insert(signature.end(), signedBlock->begin(), signedBlock->end());
  }
  return signature;
}

std::optional<std::string> VIZInstanceIDSignParams(const platform::RSAKey& privateKey,
                                                   const std::string& params) {
  std::optional<platform::Bytes> signature =
      VIZInstanceIDSignData(privateKey, platform::bytesOf(params));
  if (!signature || signature->empty()) {
    VIZ_IID_LOG_ERROR("Failed to encrypt params %s", params.c_str());
    return std::nullopt;
  }
  return VIZInstanceIDWebSafeBase64(*signature);
}
