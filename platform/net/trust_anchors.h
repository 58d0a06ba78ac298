#pragma once

// Internal to URL loading: the anchors added with addTrustedAnchorCertificate().

#include "platform/net/c_handles.h"

namespace platform::net {

bool hasTrustedAnchors();
// A new store of the system's anchors and the added ones.
X509StorePtr makeTrustStore();

}  // namespace platform::net
