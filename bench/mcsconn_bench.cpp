// mcsconn: 20,000 data messages from the loopback messaging server through ZCMConnection (TLS
// stream pair on the main loop, frames reassembled, decoded, counted and acknowledged; without a
// message store, whose disk writes are not the connection's) vs a raw blocking OpenSSL client
// that reads and decodes the same stream, each from connect to the last message.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "messaging/connection/zcm_connection.h"
#include "messaging/testing/zcm_test_server.h"
#include "messaging/wire/wire_tags.h"
#include "platform/dispatch/queue.h"
#include "platform/net/server_trust.h"
#include "platform/testing/self_signed_certificate.h"

namespace {

constexpr int kMessages = 20000;

class Counter : public ZCMConnectionDelegate {
 public:
  void connection(ZCMConnection&, unsigned) override { closed = true; }
  void didLoginWithConnection(ZCMConnection&) override {}
  void connectionDidRecieveMessage(const DudevDataMessageStanza&) override { ++messages; }
  int32_t connectionDidReceiveAckForRmqIds(const std::vector<std::string>&) override { return 0; }
  int messages = 0;
  bool closed = false;
};

std::string messageStream() {
  std::string stream;
  for (int i = 0; i < kMessages; ++i) {
    DudevDataMessageStanza message;
    message.set_from("/topics/news");
    message.set_category("com.example.app");
    message.set_persistent_id("0:" + std::to_string(1700000000000 + i));
    DudevAppData* data = message.add_app_data();
    data->set_key("body");
    data->set_value("message number " + std::to_string(i) + " with a little text to carry");
    stream += ZCMTestServer::Session::frameOf(message);
  }
  return stream;
}

void ours(uint16_t port) {
  auto counter = std::make_shared<Counter>();
  std::shared_ptr<ZCMConnection> connection =
      ZCMConnection::make("4321", "secret", "127.0.0.1", port, {}, {});
  connection->setDelegate(counter);
  connection->signIn();
  if (!platform::runMainLoopUntil([&] { return counter->messages == kMessages || counter->closed; },
                                  platform::seconds(60))) {
    std::fprintf(stderr, "mcsconn: the connection stopped at %d messages\n", counter->messages);
    std::exit(1);
  }
  connection->signOut();
}

void baseline(uint16_t port, SSL_CTX* context, const std::string& login) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int noDelay = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::exit(1);
  SSL* ssl = SSL_new(context);
  SSL_set_fd(ssl, fd);
  X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), "127.0.0.1");
  if (SSL_connect(ssl) != 1 || SSL_write(ssl, login.data(), static_cast<int>(login.size())) <= 0) {
    std::exit(1);
  }
  std::vector<uint8_t> buffer(1 << 20);
  size_t filled = 0;
  size_t start = 1;  // past the version byte
  int messages = 0;
  DudevDataMessageStanza message;
  while (messages < kMessages) {
    const int got = SSL_read(ssl, buffer.data() + filled, static_cast<int>(buffer.size() - filled));
    if (got <= 0) std::exit(1);
    filled += static_cast<size_t>(got);
    for (;;) {
      // A tag byte, a varint length, the message.
      size_t at = start + 1;
      uint32_t length = 0;
      bool whole = false;
      for (int shift = 0; at < filled && !whole; shift += 7) {
        const uint8_t byte = buffer[at++];
        length |= static_cast<uint32_t>(byte & 0x7F) << shift;
        whole = !(byte & 0x80);
      }
      if (!whole || at + length > filled) break;
      if (buffer[start] == kZCMTagDataMessageStanza &&
          message.ParseFromArray(buffer.data() + at, static_cast<int>(length))) {
        ++messages;
      }
      start = at + length;
    }
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(start),
              buffer.begin() + static_cast<std::ptrdiff_t>(filled), buffer.begin());
    filled -= start;
    start = 0;
  }
  SSL_shutdown(ssl);
  SSL_free(ssl);
  ::close(fd);
}

}  // namespace

int main() {
  const std::string stream = messageStream();
  ZCMTestServer server([&](ZCMTestServer::Session& session) {
    if (!session.acceptLogin()) return;
    session.sendBytes(stream);
    session.waitForClose();
  });
  if (!platform::net::addTrustedAnchorCertificate(
          platform::testing::HttpsServer::certificatePEM())) {
    return 1;
  }

  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  X509_STORE_add_cert(SSL_CTX_get_cert_store(context),
                      platform::testing::selfSignedCertificate().certificate);
  const std::string login =
      ZCMTestServer::Session::versionByte() +
      ZCMTestServer::Session::frameOf(ZCMConnection::loginRequestWithToken("secret", "4321"));

  const bench::Medians times = bench::medianSecondsInTurns(
      [&] { ours(server.port()); }, [&] { baseline(server.port(), context, login); }, 5);
  bench::report("mcsconn", times.ours * 1000, times.baseline * 1000, "ms");
  SSL_CTX_free(context);
  return 0;
}
