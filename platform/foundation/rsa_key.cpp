#include "platform/foundation/rsa_key.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace platform {

namespace {

// An error whose description ends with OpenSSL's reason, if it gave one; the thread's OpenSSL
// error queue is left empty for the next operation.
Error cryptoError(CryptoErrorCode code, std::string message) {
  if (unsigned long reason = ERR_peek_last_error(); reason != 0) {
    char text[256];
    ERR_error_string_n(reason, text, sizeof text);
    message += " (" + std::string(text) + ")";
  }
  ERR_clear_error();
  return Error::withDescription(kCryptoErrorDomain, code, std::move(message));
}

std::shared_ptr<EVP_PKEY> owned(EVP_PKEY* key) { return {key, EVP_PKEY_free}; }

struct ContextDeleter {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  void operator()(PKCS8_PRIV_KEY_INFO* info) const { PKCS8_PRIV_KEY_INFO_free(info); }
};
template <typename T>
using Owned = std::unique_ptr<T, ContextDeleter>;

const EVP_MD* digestType(SignatureDigest digest) {
  return digest == SignatureDigest::kSHA1 ? EVP_sha1() : EVP_sha256();
}

// DER from one of OpenSSL's i2d functions, which allocate the output themselves.
template <typename Encode>
Result<Bytes> encoded(Encode encode, const char* what) {
  unsigned char* der = nullptr;
  int length = encode(&der);
  if (length <= 0) return cryptoError(kCryptoOperationFailed, std::string("Cannot export ") + what);
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

}  // namespace

Result<RSAKey> RSAKey::generate(int bits) {
  EVP_PKEY* key = EVP_RSA_gen(static_cast<unsigned int>(bits));
  if (key == nullptr) return cryptoError(kCryptoKeyGenerationFailed, "Cannot generate an RSA key.");
  return RSAKey(owned(key), true);
}

Result<RSAKey> RSAKey::fromPublicKeyDER(const Bytes& der) {
  const unsigned char* cursor = der.data();
  std::shared_ptr<EVP_PKEY> key =
      owned(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(der.size())));
  if (!key || cursor != der.data() + der.size()) {
    return cryptoError(kCryptoInvalidKeyData, "The bytes are not an RSA public key.");
  }
  return RSAKey(std::move(key), false);
}

Result<RSAKey> RSAKey::fromPrivateKeyDER(const Bytes& der) {
  const unsigned char* cursor = der.data();
  Owned<PKCS8_PRIV_KEY_INFO> info(
      d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, static_cast<long>(der.size())));
  std::shared_ptr<EVP_PKEY> key = owned(info ? EVP_PKCS82PKEY(info.get()) : nullptr);
  const auto invalid = [] {
    return cryptoError(kCryptoInvalidKeyData, "The bytes are not an RSA private key.");
  };
  if (!key || cursor != der.data() + der.size() || !EVP_PKEY_is_a(key.get(), "RSA")) {
    return invalid();
  }
  // A damaged stored key would otherwise sign with wrong results without a word.
  Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(key.get(), nullptr));
  if (!context || EVP_PKEY_pairwise_check(context.get()) != 1) return invalid();
  return RSAKey(std::move(key), true);
}

size_t RSAKey::blockSize() const { return static_cast<size_t>(EVP_PKEY_get_size(key_.get())); }

Result<Bytes> RSAKey::publicKeyDER() const {
  return encoded([&](unsigned char** out) { return i2d_PublicKey(key_.get(), out); },
                 "the public key.");
}

Result<Bytes> RSAKey::privateKeyDER() const {
  if (!hasPrivateKey_) return cryptoError(kCryptoNoPrivateKey, "The key has no private part.");
  Owned<PKCS8_PRIV_KEY_INFO> info(EVP_PKEY2PKCS8(key_.get()));
  if (!info) return cryptoError(kCryptoOperationFailed, "Cannot export the private key.");
  return encoded([&](unsigned char** out) { return i2d_PKCS8_PRIV_KEY_INFO(info.get(), out); },
                 "the private key.");
}

Result<Bytes> RSAKey::sign(const Bytes& data, SignatureDigest digest) const {
  if (!hasPrivateKey_) return cryptoError(kCryptoNoPrivateKey, "The key has no private part.");
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  Bytes signature(blockSize());
  size_t length = signature.size();
  if (!context ||
      EVP_DigestSignInit(context.get(), nullptr, digestType(digest), nullptr, key_.get()) != 1 ||
      EVP_DigestSign(context.get(), signature.data(), &length, data.data(), data.size()) != 1) {
    return cryptoError(kCryptoOperationFailed, "Cannot sign the data.");
  }
  signature.resize(length);
  return signature;
}

bool RSAKey::verify(const Bytes& data, const Bytes& signature, SignatureDigest digest) const {
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  bool valid =
      context &&
      EVP_DigestVerifyInit(context.get(), nullptr, digestType(digest), nullptr, key_.get()) == 1 &&
      EVP_DigestVerify(context.get(), signature.data(), signature.size(), data.data(),
                       data.size()) == 1;
  ERR_clear_error();
  return valid;
}

Result<Bytes> RSAKey::rawPrivateOperation(const Bytes& block) const {
  if (!hasPrivateKey_) return cryptoError(kCryptoNoPrivateKey, "The key has no private part.");
  if (block.size() != blockSize()) {
    return cryptoError(kCryptoInvalidInput, "The block is not as long as the key's modulus.");
  }
  Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(key_.get(), nullptr));
  Bytes out(blockSize());
  size_t length = out.size();
  if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_NO_PADDING) != 1) {
    return cryptoError(kCryptoOperationFailed, "Cannot prepare the private-key operation.");
  }
  if (EVP_PKEY_sign(context.get(), out.data(), &length, block.data(), block.size()) != 1) {
    return cryptoError(kCryptoInvalidInput, "The block is not below the key's modulus.");
  }
  out.resize(length);
  return out;
}

Result<Bytes> RSAKey::rawPublicOperation(const Bytes& block) const {
  if (block.size() != blockSize()) {
    return cryptoError(kCryptoInvalidInput, "The block is not as long as the key's modulus.");
  }
  Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(key_.get(), nullptr));
  Bytes out(blockSize());
  size_t length = out.size();
  if (!context || EVP_PKEY_verify_recover_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_NO_PADDING) != 1) {
    return cryptoError(kCryptoOperationFailed, "Cannot prepare the public-key operation.");
  }
  if (EVP_PKEY_verify_recover(context.get(), out.data(), &length, block.data(), block.size()) !=
      1) {
    return cryptoError(kCryptoInvalidInput, "The block is not below the key's modulus.");
  }
  out.resize(length);
  return out;
}

}  // namespace platform
