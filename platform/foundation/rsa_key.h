#pragma once

#include <memory>

#include "platform/foundation/crypto.h"

struct evp_pkey_st;

namespace platform {

enum class SignatureDigest { kSHA1, kSHA256 };

// An RSA key: a key pair, or a public key alone. Immutable; copies share the key, and every
// operation may run on any thread.
class RSAKey {
 public:
  static Result<RSAKey> generate(int bits = 2048);
  // A public key from PKCS#1 RSAPublicKey DER.
  static Result<RSAKey> fromPublicKeyDER(const Bytes& der);
  // A key pair from PKCS#8 PrivateKeyInfo DER (unencrypted).
  static Result<RSAKey> fromPrivateKeyDER(const Bytes& der);

  bool hasPrivateKey() const { return hasPrivateKey_; }
  // The modulus length in bytes: 256 for a 2048-bit key.
  size_t blockSize() const;

  Result<Bytes> publicKeyDER() const;   // PKCS#1 RSAPublicKey
  Result<Bytes> privateKeyDER() const;  // PKCS#8 PrivateKeyInfo

  // PKCS#1 v1.5 signatures over the digest of the data.
  Result<Bytes> sign(const Bytes& data, SignatureDigest digest) const;
  bool verify(const Bytes& data, const Bytes& signature, SignatureDigest digest) const;

  // The bare private-key operation (block ^ d mod n) on one full block, without hashing or
  // padding: the block must be blockSize() bytes and, read as a big-endian number, below the
  // modulus.
  Result<Bytes> rawPrivateOperation(const Bytes& block) const;
  // Its inverse with the public key (block ^ e mod n), under the same rules: a peer checks a raw
  // signature with it.
  Result<Bytes> rawPublicOperation(const Bytes& block) const;

 private:
  RSAKey(std::shared_ptr<evp_pkey_st> key, bool hasPrivateKey)
      : key_(std::move(key)), hasPrivateKey_(hasPrivateKey) {}

  std::shared_ptr<evp_pkey_st> key_;
  bool hasPrivateKey_ = false;
};

}  // namespace platform
