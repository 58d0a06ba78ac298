#include "platform/testing/http_server.h"

#include <cstdio>
#include <cstdlib>

#include "platform/testing/self_signed_certificate.h"

namespace platform::testing {

HttpServer::HttpServer() : HttpServer(std::make_unique<httplib::Server>(), "http") {}

HttpServer::HttpServer(std::unique_ptr<httplib::Server> server, std::string scheme)
    : server_(std::move(server)), scheme_(std::move(scheme)) {
  // One request per connection: no idle connection keeps the server from stopping, and a
  // request that is slow to come (a loaded machine) still gets the default wait.
  server_->set_keep_alive_max_count(1);
  server_->set_tcp_nodelay(true);  // no 40 ms wait for the acknowledgement of a split response
  const int port = server_->bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::fprintf(stderr, "test server: cannot bind 127.0.0.1\n");
    std::abort();
  }
  port_ = static_cast<uint16_t>(port);
}

HttpServer::~HttpServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

void HttpServer::start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // is_running() turns true just before the accept loop; connections queue on the bound socket
  // meanwhile, so there is no window in which a client is refused.
  while (!server_->is_running()) std::this_thread::yield();
}

std::string HttpServer::baseURL() const {
  return scheme_ + "://127.0.0.1:" + std::to_string(port_);
}

std::string HttpServer::url(std::string_view path) const { return baseURL() + std::string(path); }

HttpsServer::HttpsServer()
    : HttpServer(std::make_unique<httplib::SSLServer>(selfSignedCertificate().certificate,
                                                      selfSignedCertificate().key),
                 "https") {}

const std::string& HttpsServer::certificatePEM() { return selfSignedCertificate().pem; }

}  // namespace platform::testing
