#include "platform/net/server_trust.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>

#include "platform/foundation/base64.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/net/host.h"
#include "platform/net/trust_anchors.h"

namespace platform::net {

namespace {

struct Anchors {
  Mutex mutex;
  std::vector<X509Ptr> certificates VKR_GUARDED_BY(mutex);
  // The last store made of the system's anchors and these, until they change: reading the
  // system's bundle of anchors takes long enough to matter for every connection.
  X509StorePtr shared VKR_GUARDED_BY(mutex);
};
Anchors& anchors() {
  static Anchors* list = new Anchors();
  return *list;
}

X509Ptr readDER(const Bytes& der) {
  const unsigned char* cursor = der.data();
  X509Ptr certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
  if (cursor != der.data() + der.size()) return nullptr;
  return certificate;
}

}  // namespace

bool hasTrustedAnchors() {
  MutexLock lock(anchors().mutex);
  return !anchors().certificates.empty();
}

X509StorePtr makeTrustStore() {
  X509StorePtr store(X509_STORE_new());
  X509_STORE_set_default_paths(store.get());
  MutexLock lock(anchors().mutex);
  for (const X509Ptr& certificate : anchors().certificates) {
    X509_STORE_add_cert(store.get(), certificate.get());
  }
  return store;
}

X509StorePtr sharedTrustStore() {
  {
    MutexLock lock(anchors().mutex);
    if (X509_STORE* shared = anchors().shared.get()) {
      X509_STORE_up_ref(shared);
      return X509StorePtr(shared);
    }
  }
  X509StorePtr made = makeTrustStore();
  MutexLock lock(anchors().mutex);
  if (!anchors().shared) {
    X509_STORE_up_ref(made.get());
    anchors().shared.reset(made.get());
  }
  return made;
}

Status addTrustedAnchorCertificate(std::string_view pem) {
  const BIOPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  X509Ptr certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  if (!certificate) {
    return Error::withDescription("NSOSStatusErrorDomain", -25257, "not a PEM certificate");
  }
  MutexLock lock(anchors().mutex);
  anchors().certificates.push_back(std::move(certificate));
  anchors().shared.reset();
  return okStatus();
}

void removeTrustedAnchorCertificates() {
  MutexLock lock(anchors().mutex);
  anchors().certificates.clear();
  anchors().shared.reset();
}

ServerTrust::Result ServerTrust::evaluate() const {
  if (chain_.empty() || !readDER(chain_.front())) return Result::FatalTrustFailure;
  return problem() ? Result::RecoverableTrustFailure : Result::Unspecified;
}

std::optional<std::string> ServerTrust::problem() const {
  if (chain_.empty()) return "the server presented no certificate";
  X509Ptr leaf = readDER(chain_.front());
  if (!leaf) return "the server's certificate cannot be read";
  std::vector<X509Ptr> intermediates;
  const X509StackPtr untrusted(sk_X509_new_null());
  for (size_t i = 1; i < chain_.size(); ++i) {
    if (X509Ptr certificate = readDER(chain_[i])) {
      sk_X509_push(untrusted.get(), certificate.get());
      intermediates.push_back(std::move(certificate));
    }
  }
  const X509StorePtr store = makeTrustStore();
  const X509StoreContextPtr context(X509_STORE_CTX_new());
  if (X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), untrusted.get()) != 1) {
    return "the certificate chain cannot be checked";
  }
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
  X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
  if (isIPAddress(host_)) {
    X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str());
  } else {
    X509_VERIFY_PARAM_set1_host(param, host_.c_str(), host_.size());
  }
  if (X509_verify_cert(context.get()) == 1) return std::nullopt;
  return X509_verify_cert_error_string(X509_STORE_CTX_get_error(context.get()));
}

std::string ServerTrust::publicKeyPin() const {
  if (chain_.empty()) return {};
  X509Ptr leaf = readDER(chain_.front());
  if (!leaf) return {};
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(X509_get0_pubkey(leaf.get()), &der);
  const OpenSSLBytes owned(der);
  if (length <= 0) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  EVP_Digest(der, static_cast<size_t>(length), digest, &digestLength, EVP_sha256(), nullptr);
  return "sha256//" + base64Encode(digest, digestLength);
}

}  // namespace platform::net
