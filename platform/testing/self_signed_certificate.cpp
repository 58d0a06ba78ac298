#include "platform/testing/self_signed_certificate.h"

#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>

namespace platform::testing {

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "test certificate: %s failed\n", what);
  std::abort();
}

void addExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr || !X509_add_ext(certificate, extension, -1)) fail("extension");
  X509_EXTENSION_free(extension);
}

SelfSignedCertificate make() {
  SelfSignedCertificate made;
  made.key = EVP_EC_gen("P-256");
  if (made.key == nullptr) fail("key generation");
  X509* cert = X509_new();
  made.certificate = cert;
  X509_set_version(cert, 2);
  BIGNUM* serial = BN_new();
  BN_rand(serial, 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
  BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert));
  BN_free(serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509_set_pubkey(cert, made.key);
  addExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
  addExtension(cert, NID_key_usage, "critical,digitalSignature,keyCertSign");
  addExtension(cert, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  addExtension(cert, NID_subject_key_identifier, "hash");
  if (!X509_sign(cert, made.key, EVP_sha256())) fail("signing");

  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* text = nullptr;
  long length = BIO_get_mem_data(bio, &text);
  made.pem.assign(text, static_cast<size_t>(length));
  BIO_free(bio);
  return made;
}

}  // namespace

const SelfSignedCertificate& selfSignedCertificate() {
  static const SelfSignedCertificate* made = new SelfSignedCertificate(make());
  return *made;
}

}  // namespace platform::testing
