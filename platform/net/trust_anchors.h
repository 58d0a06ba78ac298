#pragma once

// Internal to URL loading: the anchors added with addTrustedAnchorCertificate().

#include "platform/net/c_handles.h"

namespace platform::net {

// A store of the system's anchors and the added ones, shared by every caller until the added
// anchors change; each answer holds a reference of its own. Stores are safe to verify with from
// several threads.
X509StorePtr sharedTrustStore();
// Another such store, for the connections of URL loading alone, made for each thread that makes
// connections (each engine's): libcurl sets its verification flags on the store of each connection,
// and those stay out of the stores other callers and threads verify with.
X509StorePtr urlConnectionTrustStore();

}  // namespace platform::net
