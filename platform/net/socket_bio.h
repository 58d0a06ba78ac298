#pragma once

// Internal to the net module: an OpenSSL BIO over a non-blocking socket that never raises
// SIGPIPE (a peer that went away shows as a write error instead of ending the process).

#include <openssl/bio.h>

namespace platform::net {

// A BIO that reads and writes the socket; the caller keeps the socket open longer than the BIO.
BIO* makeSocketBIO(int fd);

}  // namespace platform::net
