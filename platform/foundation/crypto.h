#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform {

inline constexpr const char* kCryptoErrorDomain = "CryptoErrorDomain";
enum CryptoErrorCode : int64_t {
  kCryptoKeyGenerationFailed = 1,
  kCryptoInvalidKeyData = 2,  // key bytes that are not a key of the expected form
  kCryptoNoPrivateKey = 3,    // a private-key operation on a public key
  kCryptoInvalidInput = 4,    // data the operation cannot take (wrong length, too large)
  kCryptoOperationFailed = 5,
  kCryptoRandomFailed = 6,
};

// Digests of bytes (the digest bytes, 16, 20 and 32 long).
Bytes md5(std::string_view data);
Bytes md5(const Bytes& data);
Bytes sha1(std::string_view data);
Bytes sha1(const Bytes& data);
Bytes sha256(std::string_view data);
Bytes sha256(const Bytes& data);

// Lower-case hexadecimal, two digits per byte.
std::string hexString(const Bytes& bytes);

// Bytes from the system's cryptographically secure generator.
Result<Bytes> randomBytes(size_t count);
uint32_t randomUInt32();
// A random (version 4) UUID in canonical upper-case form, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string randomUUIDString();

}  // namespace platform
