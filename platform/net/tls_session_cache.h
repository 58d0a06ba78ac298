#pragma once

// Internal to URL loading: TLS sessions kept for resumption from one connection to the next.

#include <curl/curl.h>

namespace platform::net {

// The share through which URL loading's connections keep their TLS sessions, so a new connection
// to a server met before resumes a session rather than making a full handshake again. For the
// calling thread's connections. A resumed session is not checked again, so sessions go with the
// trust store they were checked against: once the added anchors change, connections start without
// any.
CURLSH* tlsSessionShare();

}  // namespace platform::net
