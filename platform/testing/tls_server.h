#pragma once

// A TLS server on 127.0.0.1 for clients of raw TLS byte streams. Each connection runs a script
// on a thread of its own, after the handshake, with the self-signed certificate HttpsServer
// uses (trusted only by clients that add HttpsServer::certificatePEM() as an anchor). The server
// stops, waking scripts blocked in a read, when it is destroyed.

#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/foundation/value.h"
#include "platform/testing/http_server.h"

namespace platform::testing {

class TLSServer {
 public:
  class Connection {
   public:
    // Exactly `count` bytes, or fewer when the peer closed or the server stops first.
    Bytes read(size_t count);
    // What one TLS record brought: at least one byte unless the connection ended.
    Bytes readSome();
    // Reads until the peer closes; answers whether it closed (rather than the server stopping).
    bool waitForClose();
    // Writes every byte as one record or more; false when the peer is gone.
    bool write(const Bytes& bytes);
    bool write(std::string_view bytes);
    // Ends the TLS session cleanly (close-notify), then the connection.
    void close();

   private:
    friend class TLSServer;
    explicit Connection(SSL* ssl) : ssl_(ssl) {}
    SSL* ssl_;
    bool closed_ = false;
  };
  using Script = std::function<void(Connection&)>;

  explicit TLSServer(Script script);
  ~TLSServer();
  TLSServer(const TLSServer&) = delete;
  TLSServer& operator=(const TLSServer&) = delete;

  uint16_t port() const { return tcp_->port(); }
  // Connections whose handshake succeeded, and those whose handshake failed (a client that
  // refused the certificate).
  int sessions() const { return sessions_.load(); }
  int failedHandshakes() const { return failedHandshakes_.load(); }

 private:
  void serve(ScriptedServer::Connection& tcp);

  Script script_;
  SSL_CTX* context_;
  std::atomic<int> sessions_{0};
  std::atomic<int> failedHandshakes_{0};
  std::unique_ptr<ScriptedServer> tcp_;
};

}  // namespace platform::testing
