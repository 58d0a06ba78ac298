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
  // The last store made of the system's anchors and these, until they change.
  X509StorePtr shared VKR_GUARDED_BY(mutex);
  // Counts the changes, so that stores kept elsewhere know when they are out of date.
  uint64_t generation VKR_GUARDED_BY(mutex) = 0;
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

// The certificates of the system's bundle of anchors, read once: parsing the bundle takes long
// enough to matter for every connection.
const std::vector<X509Ptr>& systemBundle() {
  static const std::vector<X509Ptr>* bundle = [] {
    auto certificates = new std::vector<X509Ptr>();
    const X509StorePtr loaded(X509_STORE_new());
    X509_LOOKUP* file = X509_STORE_add_lookup(loaded.get(), X509_LOOKUP_file());
    if (file && X509_LOOKUP_load_file(file, nullptr, X509_FILETYPE_DEFAULT) == 1) {
      STACK_OF(X509)* all = X509_STORE_get1_all_certs(loaded.get());
      while (X509* certificate = all ? sk_X509_shift(all) : nullptr) {
        certificates->emplace_back(certificate);
      }
      sk_X509_free(all);
    }
    return certificates;
  }();
  return *bundle;
}

// A new store of the system's anchors and the added ones.
X509StorePtr makeTrustStore() {
  // What X509_STORE_set_default_paths() sets up (the default bundle, folder and store, or those
  // the environment names), with the bundle's certificates taken from the copy read once.
  X509StorePtr store(X509_STORE_new());
  // Put in as they are: adding them one by one would look for each among those already in.
  STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(store.get());
  for (const X509Ptr& certificate : systemBundle()) {
    X509_OBJECT* object = X509_OBJECT_new();
    if (!object || X509_OBJECT_set1_X509(object, certificate.get()) != 1 ||
        sk_X509_OBJECT_push(objects, object) <= 0) {
      X509_OBJECT_free(object);
    }
  }
  if (X509_LOOKUP* folder = X509_STORE_add_lookup(store.get(), X509_LOOKUP_hash_dir())) {
    X509_LOOKUP_add_dir(folder, nullptr, X509_FILETYPE_DEFAULT);
  }
  if (X509_LOOKUP* stores = X509_STORE_add_lookup(store.get(), X509_LOOKUP_store())) {
    X509_LOOKUP_add_store(stores, nullptr);
  }
  MutexLock lock(anchors().mutex);
  for (const X509Ptr& certificate : anchors().certificates) {
    X509_STORE_add_cert(store.get(), certificate.get());
  }
  return store;
}

}  // namespace

X509StorePtr sharedTrustStore() {
  {
    MutexLock lock(anchors().mutex);
    if (X509_STORE* kept = anchors().shared.get()) {
      X509_STORE_up_ref(kept);
      return X509StorePtr(kept);
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

X509StorePtr urlConnectionTrustStore() {
  // One store per thread: libcurl sets its flags on the store of each connection, which must not
  // happen while a connection on another thread verifies with it.
  thread_local uint64_t generation = 0;
  thread_local X509StorePtr kept;
  uint64_t current = 0;
  {
    MutexLock lock(anchors().mutex);
    current = anchors().generation;
  }
  if (!kept || generation != current) {
    kept = makeTrustStore();
    generation = current;
  }
  X509_STORE_up_ref(kept.get());
  return X509StorePtr(kept.get());
}

Status addTrustedAnchorCertificate(std::string_view pem) {
  const BIOPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  X509Ptr certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  if (!certificate) {
    return Error::withDescription("NSOSStatusErrorDomain", -25257, "not a PEM certificate");
  }
  MutexLock lock(anchors().mutex);
  // Adding one already there changes nothing, and keeps the store built from them.
  for (const X509Ptr& added : anchors().certificates) {
    if (X509_cmp(added.get(), certificate.get()) == 0) return okStatus();
  }
  anchors().certificates.push_back(std::move(certificate));
  anchors().shared.reset();
  ++anchors().generation;
  return okStatus();
}

void removeTrustedAnchorCertificates() {
  MutexLock lock(anchors().mutex);
  anchors().certificates.clear();
  anchors().shared.reset();
  ++anchors().generation;
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
  const X509StorePtr store = sharedTrustStore();
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
