#include "platform/foundation/rsa_key.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace platform {
namespace {

// One key pair for the whole suite: generating one takes a noticeable moment.
const RSAKey& sharedKey() {
  static const RSAKey key = *RSAKey::generate();
  return key;
}

Bytes hexBytes(std::string_view hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

// block ^ e mod n, computed with OpenSSL directly from the exported public key, so the checks
// below do not rest on the code under test.
Bytes rawPublicOperation(const Bytes& publicDER, const Bytes& block) {
  const unsigned char* cursor = publicDER.data();
  EVP_PKEY* key =
      d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(publicDER.size()));
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
  Bytes out(block.size());
  size_t length = out.size();
  bool ok = EVP_PKEY_verify_recover_init(context) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING) == 1 &&
            EVP_PKEY_verify_recover(context, out.data(), &length, block.data(), block.size()) == 1;
  EVP_PKEY_CTX_free(context);
  EVP_PKEY_free(key);
  if (!ok) return {};
  out.resize(length);
  return out;
}

TEST(RSAKeyTest, ExportsPKCS1PublicAndPKCS8PrivateKeys) {
  const RSAKey& key = sharedKey();
  EXPECT_TRUE(key.hasPrivateKey());
  EXPECT_EQ(key.blockSize(), 256u);

  Bytes publicDER = *key.publicKeyDER();
  ASSERT_EQ(publicDER.size(), 270u);  // SEQUENCE { INTEGER n (257 bytes), INTEGER 65537 }
  EXPECT_EQ(Bytes(publicDER.begin(), publicDER.begin() + 9), hexBytes("3082010a0282010100"));
  EXPECT_EQ(Bytes(publicDER.end() - 5, publicDER.end()), hexBytes("0203010001"));

  Bytes privateDER = *key.privateKeyDER();
  // SEQUENCE { INTEGER 0, AlgorithmIdentifier { rsaEncryption, NULL }, OCTET STRING ... }
  EXPECT_EQ(Bytes(privateDER.begin() + 4, privateDER.begin() + 22),
            hexBytes("020100300d06092a864886f70d0101010500"));

  Result<RSAKey> publicOnly = RSAKey::fromPublicKeyDER(publicDER);
  ASSERT_TRUE(publicOnly.ok());
  EXPECT_FALSE(publicOnly->hasPrivateKey());
  EXPECT_EQ(*publicOnly->publicKeyDER(), publicDER);
  Result<RSAKey> restored = RSAKey::fromPrivateKeyDER(privateDER);
  ASSERT_TRUE(restored.ok());
  EXPECT_TRUE(restored->hasPrivateKey());
  EXPECT_EQ(*restored->privateKeyDER(), privateDER);
  EXPECT_EQ(*restored->publicKeyDER(), publicDER);

  // PKCS#1 v1.5 signatures are deterministic: the restored pair signs exactly as the original.
  const Bytes data = bytesOf("com.example.app\npub2");
  for (SignatureDigest digest : {SignatureDigest::kSHA1, SignatureDigest::kSHA256}) {
    Bytes signature = *key.sign(data, digest);
    EXPECT_EQ(*restored->sign(data, digest), signature);
    EXPECT_TRUE(publicOnly->verify(data, signature, digest));
  }
}

TEST(RSAKeyTest, SignaturesArePKCS1v15OverTheDigest) {
  const RSAKey& key = sharedKey();
  const Bytes data = bytesOf("the text to sign");
  const Bytes publicDER = *key.publicKeyDER();
  struct Case {
    SignatureDigest digest;
    Bytes digestInfo;
  };
  const Case cases[] = {
      {SignatureDigest::kSHA1, hexBytes("3021300906052b0e03021a05000414")},
      {SignatureDigest::kSHA256, hexBytes("3031300d060960864801650304020105000420")},
  };
  for (const Case& c : cases) {
    Result<Bytes> signature = key.sign(data, c.digest);
    ASSERT_TRUE(signature.ok());
    ASSERT_EQ(signature->size(), 256u);
    Bytes expected = c.digestInfo;
    Bytes digest = c.digest == SignatureDigest::kSHA1 ? sha1(data) : sha256(data);
    expected.insert(expected.end(), digest.begin(), digest.end());
    expected.insert(expected.begin(), 0x00);
    expected.insert(expected.begin(), 256 - 2 - expected.size(), 0xFF);
    expected.insert(expected.begin(), {0x00, 0x01});
    EXPECT_EQ(rawPublicOperation(publicDER, *signature), expected);
  }
}

TEST(RSAKeyTest, VerifyRejectsAnyChange) {
  const RSAKey& key = sharedKey();
  const Bytes data = bytesOf("payload");
  const Bytes signature = *key.sign(data, SignatureDigest::kSHA256);
  EXPECT_TRUE(key.verify(data, signature, SignatureDigest::kSHA256));
  EXPECT_FALSE(key.verify(bytesOf("payloaD"), signature, SignatureDigest::kSHA256));
  EXPECT_FALSE(key.verify(data, signature, SignatureDigest::kSHA1));
  Bytes altered = signature;
  altered[100] ^= 1;
  EXPECT_FALSE(key.verify(data, altered, SignatureDigest::kSHA256));
  EXPECT_FALSE(
      key.verify(data, Bytes(signature.begin(), signature.end() - 1), SignatureDigest::kSHA256));
  EXPECT_FALSE(key.verify(data, {}, SignatureDigest::kSHA256));
}

TEST(RSAKeyTest, RawPrivateOperationOnOneFullBlock) {
  const RSAKey& key = sharedKey();
  Bytes block = *randomBytes(256);
  block[0] = 0x00;  // below any 2048-bit modulus
  Result<Bytes> output = key.rawPrivateOperation(block);
  ASSERT_TRUE(output.ok());
  EXPECT_EQ(output->size(), 256u);
  EXPECT_NE(*output, block);
  EXPECT_EQ(rawPublicOperation(*key.publicKeyDER(), *output), block);
  EXPECT_EQ(*RSAKey::fromPublicKeyDER(*key.publicKeyDER())->rawPublicOperation(*output), block);
  EXPECT_FALSE(key.rawPublicOperation(Bytes(255, 0x01)).ok());

  const std::pair<Bytes, CryptoErrorCode> refused[] = {
      {Bytes(255, 0x01), kCryptoInvalidInput},
      {Bytes(257, 0x00), kCryptoInvalidInput},
      {Bytes(256, 0xFF), kCryptoInvalidInput},  // not below the modulus
  };
  for (const auto& [input, code] : refused) {
    Result<Bytes> result = key.rawPrivateOperation(input);
    ASSERT_FALSE(result.ok()) << input.size();
    EXPECT_EQ(result.error().domain(), kCryptoErrorDomain);
    EXPECT_EQ(result.error().code(), code);
  }
}

TEST(RSAKeyTest, PublicKeyRefusesPrivateOperations) {
  RSAKey publicOnly = *RSAKey::fromPublicKeyDER(*sharedKey().publicKeyDER());
  EXPECT_EQ(publicOnly.sign(bytesOf("x"), SignatureDigest::kSHA1).error().code(),
            kCryptoNoPrivateKey);
  EXPECT_EQ(publicOnly.rawPrivateOperation(Bytes(256, 0)).error().code(), kCryptoNoPrivateKey);
  EXPECT_EQ(publicOnly.privateKeyDER().error().code(), kCryptoNoPrivateKey);
}

Bytes ecPrivateKeyDER() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  PKCS8_PRIV_KEY_INFO* info = EVP_PKEY2PKCS8(key);
  unsigned char* der = nullptr;
  int length = i2d_PKCS8_PRIV_KEY_INFO(info, &der);
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  PKCS8_PRIV_KEY_INFO_free(info);
  EVP_PKEY_free(key);
  return bytes;
}

TEST(RSAKeyTest, ImportRefusesWhatIsNotAnRSAKey) {
  const Bytes publicDER = *sharedKey().publicKeyDER();
  const Bytes privateDER = *sharedKey().privateKeyDER();
  const auto truncated = [](const Bytes& der) { return Bytes(der.begin(), der.end() - 10); };
  const auto extended = [](Bytes der) {
    der.push_back(0);
    return der;
  };
  Bytes damaged = privateDER;
  damaged[400] ^= 0x10;  // inside the private exponent

  const Bytes notPublic[] = {
      {}, bytesOf("garbage"), truncated(publicDER), extended(publicDER), privateDER};
  for (const Bytes& der : notPublic) {
    Result<RSAKey> key = RSAKey::fromPublicKeyDER(der);
    ASSERT_FALSE(key.ok()) << der.size();
    EXPECT_EQ(key.error().code(), kCryptoInvalidKeyData);
  }
  const Bytes notPrivate[] = {{},
                              bytesOf("garbage"),
                              truncated(privateDER),
                              extended(privateDER),
                              publicDER,
                              ecPrivateKeyDER(),
                              damaged};
  for (const Bytes& der : notPrivate) {
    Result<RSAKey> key = RSAKey::fromPrivateKeyDER(der);
    ASSERT_FALSE(key.ok()) << der.size();
    EXPECT_EQ(key.error().code(), kCryptoInvalidKeyData);
  }
}

}  // namespace
}  // namespace platform
