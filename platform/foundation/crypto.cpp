#include "platform/foundation/crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdlib>

#include "platform/foundation/log.h"

namespace platform {

namespace {

// With the default provider a digest of bytes in memory fails only when memory runs out; the
// answer is then empty rather than a wrong digest.
Bytes digest(const EVP_MD* type, const void* data, size_t size) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  if (EVP_Digest(data, size, out.data(), &length, type, nullptr) != 1) return {};
  out.resize(length);
  return out;
}

// The kernel's generator first: OpenSSL's would load its configuration and providers, megabytes
// touched, for a few bytes. OpenSSL's should the kernel's ever fail.
bool fillRandom(uint8_t* out, size_t count) {
  uint8_t* next = out;
  size_t left = count;
  while (left > 0) {
    const ssize_t got = getrandom(next, left, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    next += got;
    left -= static_cast<size_t>(got);
  }
  return left == 0 ||
         (count <= static_cast<size_t>(INT32_MAX) && RAND_bytes(out, static_cast<int>(count)) == 1);
}

// Without any source of randomness, keys and identifiers would be guessable: stop rather than
// hand out predictable values.
void fillRandomOrAbort(uint8_t* out, size_t count) {
  if (fillRandom(out, count)) return;
  log("No secure random source is available.");
  std::abort();
}

}  // namespace

Bytes md5(std::string_view data) { return digest(EVP_md5(), data.data(), data.size()); }
Bytes md5(const Bytes& data) { return digest(EVP_md5(), data.data(), data.size()); }
Bytes sha1(std::string_view data) { return digest(EVP_sha1(), data.data(), data.size()); }
Bytes sha1(const Bytes& data) { return digest(EVP_sha1(), data.data(), data.size()); }
Bytes sha256(std::string_view data) { return digest(EVP_sha256(), data.data(), data.size()); }
Bytes sha256(const Bytes& data) { return digest(EVP_sha256(), data.data(), data.size()); }

std::string hexString(const Bytes& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

Result<Bytes> randomBytes(size_t count) {
  Bytes bytes(count);
  if (!fillRandom(bytes.data(), count)) {
    return Error::withDescription(kCryptoErrorDomain, kCryptoRandomFailed,
                                  "No secure random source is available.");
  }
  return bytes;
}

uint32_t randomUInt32() {
  uint8_t bytes[4];
  fillRandomOrAbort(bytes, sizeof bytes);
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

std::string randomUUIDString() {
  Bytes bytes(16);
  fillRandomOrAbort(bytes.data(), bytes.size());
  bytes[6] = (bytes[6] & 0x0F) | 0x40;  // version 4: random
  bytes[8] = (bytes[8] & 0x3F) | 0x80;  // the RFC 4122 variant
  std::string hex = hexString(bytes);
  std::string text;
  for (size_t i = 0; i < hex.size(); ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) text += '-';
    text += static_cast<char>(hex[i] >= 'a' ? hex[i] - 32 : hex[i]);
  }
  return text;
}

}  // namespace platform
