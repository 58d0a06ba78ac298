#include "platform/net/server_trust.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>
#include <mutex>

#include "platform/foundation/base64.h"
#include "platform/net/host.h"
#include "platform/net/trust_anchors.h"

namespace platform::net {

namespace {

struct Anchors {
  std::mutex mutex;
  std::vector<X509*> certificates;  // owned for the life of the process
};
Anchors& anchors() {
  static Anchors* list = new Anchors();
  return *list;
}

struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr readDER(const Bytes& der) {
  const unsigned char* cursor = der.data();
  X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(der.size()));
  if (certificate != nullptr && cursor != der.data() + der.size()) {
    X509_free(certificate);
    return nullptr;
  }
  return X509Ptr(certificate);
}

}  // namespace

bool hasTrustedAnchors() {
  std::lock_guard lock(anchors().mutex);
  return !anchors().certificates.empty();
}

X509_STORE* makeTrustStore() {
  X509_STORE* store = X509_STORE_new();
  X509_STORE_set_default_paths(store);
  std::lock_guard lock(anchors().mutex);
  for (X509* certificate : anchors().certificates) X509_STORE_add_cert(store, certificate);
  return store;
}

Status addTrustedAnchorCertificate(std::string_view pem) {
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  if (certificate == nullptr) {
    return Error::withDescription("NSOSStatusErrorDomain", -25257, "not a PEM certificate");
  }
  std::lock_guard lock(anchors().mutex);
  anchors().certificates.push_back(certificate);
  return okStatus();
}

void removeTrustedAnchorCertificates() {
  std::lock_guard lock(anchors().mutex);
  for (X509* certificate : anchors().certificates) X509_free(certificate);
  anchors().certificates.clear();
}

ServerTrust::Result ServerTrust::evaluate() const {
  if (chain_.empty()) return Result::FatalTrustFailure;
  X509Ptr leaf = readDER(chain_.front());
  if (!leaf) return Result::FatalTrustFailure;
  STACK_OF(X509)* untrusted = sk_X509_new_null();
  std::vector<X509Ptr> intermediates;
  for (size_t i = 1; i < chain_.size(); ++i) {
    if (X509Ptr certificate = readDER(chain_[i])) {
      sk_X509_push(untrusted, certificate.get());
      intermediates.push_back(std::move(certificate));
    }
  }
  X509_STORE* store = makeTrustStore();
  X509_STORE_CTX* context = X509_STORE_CTX_new();
  bool trusted = false;
  if (X509_STORE_CTX_init(context, store, leaf.get(), untrusted) == 1) {
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context);
    X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
    if (isIPAddress(host_)) {
      X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str());
    } else {
      X509_VERIFY_PARAM_set1_host(param, host_.c_str(), host_.size());
    }
    trusted = X509_verify_cert(context) == 1;
  }
  X509_STORE_CTX_free(context);
  X509_STORE_free(store);
  sk_X509_free(untrusted);
  return trusted ? Result::Unspecified : Result::RecoverableTrustFailure;
}

std::string ServerTrust::publicKeyPin() const {
  if (chain_.empty()) return {};
  X509Ptr leaf = readDER(chain_.front());
  if (!leaf) return {};
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(X509_get0_pubkey(leaf.get()), &der);
  if (length <= 0) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  EVP_Digest(der, static_cast<size_t>(length), digest, &digestLength, EVP_sha256(), nullptr);
  OPENSSL_free(der);
  return "sha256//" + base64Encode(digest, digestLength);
}

}  // namespace platform::net
