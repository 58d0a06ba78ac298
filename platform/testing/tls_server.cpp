#include "platform/testing/tls_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>

#include "platform/testing/self_signed_certificate.h"

namespace platform::testing {

TLSServer::TLSServer(Script script) : script_(std::move(script)) {
  context_ = SSL_CTX_new(TLS_server_method());
  if (context_ == nullptr ||
      SSL_CTX_use_certificate(context_, selfSignedCertificate().certificate) != 1 ||
      SSL_CTX_use_PrivateKey(context_, selfSignedCertificate().key) != 1) {
    std::fprintf(stderr, "TLS test server: cannot set up its certificate\n");
    std::abort();
  }
  tcp_ = std::make_unique<ScriptedServer>([this](ScriptedServer::Connection& tcp) { serve(tcp); });
}

TLSServer::~TLSServer() {
  tcp_.reset();  // stops and joins every script first
  SSL_CTX_free(context_);
}

void TLSServer::serve(ScriptedServer::Connection& tcp) {
  // OpenSSL writes with write(2): a client that went away must fail the write, not end the
  // process. The signal would be this thread's own and dies with it.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  const int noDelay = 1;
  setsockopt(tcp.fd(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  SSL* ssl = SSL_new(context_);
  SSL_set_fd(ssl, tcp.fd());
  if (SSL_accept(ssl) != 1) {
    ++failedHandshakes_;
    SSL_free(ssl);
    return;
  }
  ++sessions_;
  Connection connection(ssl);
  script_(connection);
  SSL_free(ssl);
}

Bytes TLSServer::Connection::read(size_t count) {
  Bytes received(count);
  size_t filled = 0;
  while (filled < count) {
    const int got = SSL_read(ssl_, received.data() + filled, static_cast<int>(count - filled));
    if (got <= 0) break;
    filled += static_cast<size_t>(got);
  }
  received.resize(filled);
  return received;
}

Bytes TLSServer::Connection::readSome() {
  Bytes received(16384);
  const int got = SSL_read(ssl_, received.data(), static_cast<int>(received.size()));
  received.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return received;
}

bool TLSServer::Connection::waitForClose() {
  uint8_t buffer[4096];
  for (;;) {
    const int got = SSL_read(ssl_, buffer, sizeof buffer);
    if (got > 0) continue;
    const int reason = SSL_get_error(ssl_, got);
    // A clean close-notify or the socket's end; a stopping server shuts the socket down too,
    // which reads as an end: scripts that care check with their test's own state.
    return reason == SSL_ERROR_ZERO_RETURN || reason == SSL_ERROR_SYSCALL ||
           reason == SSL_ERROR_SSL;
  }
}

bool TLSServer::Connection::write(const Bytes& bytes) {
  return write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool TLSServer::Connection::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const int written = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void TLSServer::Connection::close() {
  if (closed_) return;
  closed_ = true;
  SSL_shutdown(ssl_);
  ::shutdown(SSL_get_fd(ssl_), SHUT_RDWR);
}

}  // namespace platform::testing
