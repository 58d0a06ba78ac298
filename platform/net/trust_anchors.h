#pragma once

// Internal to URL loading: the anchors added with addTrustedAnchorCertificate().

#include <openssl/x509.h>

namespace platform::net {

bool hasTrustedAnchors();
// A new store of the system's anchors and the added ones (the caller owns it).
X509_STORE* makeTrustStore();

}  // namespace platform::net
