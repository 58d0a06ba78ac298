#pragma once

// Internal to URL loading: the anchors added with addTrustedAnchorCertificate().

#include "platform/net/c_handles.h"

namespace platform::net {

// A new store of the system's anchors and the added ones, for a connection to adjust as it needs.
X509StorePtr makeTrustStore();
// A store of the same anchors shared by every caller until the added anchors change; each answer
// holds a reference of its own. Stores are safe to verify with from several threads.
X509StorePtr sharedTrustStore();

}  // namespace platform::net
