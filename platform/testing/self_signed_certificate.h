#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

namespace platform::testing {

// A P-256 key and a self-signed certificate for 127.0.0.1 and localhost (also its own CA),
// valid from an hour ago for a day. Made once per process; never freed.
struct SelfSignedCertificate {
  X509* certificate = nullptr;
  EVP_PKEY* key = nullptr;
  std::string pem;
};
const SelfSignedCertificate& selfSignedCertificate();

}  // namespace platform::testing
