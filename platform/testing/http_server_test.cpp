#include "platform/testing/http_server.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>

namespace platform::testing {
namespace {

TEST(HttpServerTest, ServesOnLoopbackUntilDestroyed) {
  uint16_t port = 0;
  {
    HttpServer server;
    server.routes().Get("/hello", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("hi", "text/plain");
    });
    server.start();
    port = server.port();
    EXPECT_EQ(server.url("/hello"), "http://127.0.0.1:" + std::to_string(port) + "/hello");
    httplib::Client client("127.0.0.1", port);
    auto answer = client.Get("/hello");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->body, "hi");
  }
  httplib::Client client("127.0.0.1", port);
  EXPECT_FALSE(client.Get("/hello"));
}

TEST(HttpServerTest, HttpsCertificateVerifiesForLoopbackNamesOnly) {
  HttpsServer server;
  server.routes().Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("secure", "text/plain");
  });
  server.start();
  EXPECT_EQ(server.baseURL().rfind("https://127.0.0.1:", 0), 0u);

  BIO* bio = BIO_new_mem_buf(HttpsServer::certificatePEM().data(),
                             static_cast<int>(HttpsServer::certificatePEM().size()));
  X509* anchor = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  ASSERT_NE(anchor, nullptr);
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    httplib::SSLClient client(host, server.port());
    X509_STORE* store = X509_STORE_new();
    X509_STORE_add_cert(store, anchor);
    client.set_ca_cert_store(store);
    client.enable_server_certificate_verification(true);
    auto answer = client.Get("/");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->body, "secure");
  }
  httplib::SSLClient untrusting("127.0.0.1", server.port());
  untrusting.enable_server_certificate_verification(true);
  EXPECT_FALSE(untrusting.Get("/"));
  X509_free(anchor);
}

TEST(ScriptedServerTest, RunsTheScriptPerConnectionAndStopsHeldOnes) {
  ScriptedServer server([](ScriptedServer::Connection& connection) {
    std::string request = connection.readRequest();
    if (request.find("/hold") != std::string::npos) return connection.hold();
    connection.write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(request.size()) +
                     "\r\nConnection: close\r\n\r\n" + request);
  });
  httplib::Client client("127.0.0.1", server.port());
  auto answer = client.Post("/echo", "body!", "text/plain");
  ASSERT_TRUE(answer);
  EXPECT_NE(answer->body.find("POST /echo"), std::string::npos);
  EXPECT_EQ(answer->body.substr(answer->body.size() - 5), "body!");

  // A held connection keeps the client waiting; destroying the server releases both.
  httplib::Client waiting("127.0.0.1", server.port());
  waiting.set_read_timeout(std::chrono::milliseconds(50));
  EXPECT_FALSE(waiting.Get("/hold"));
  EXPECT_EQ(server.connections(), 2);
}

}  // namespace
}  // namespace platform::testing
