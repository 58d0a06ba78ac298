#include "platform/net/url_connection.h"

#include <gtest/gtest.h>

#include "platform/net/http_status_phrase.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"

namespace {

using platform::net::URLResponse;

TEST(URLConnectionTest, DeliversResponseBodyOrErrorOnTheQueue) {
  platform::testing::HttpServer server;
  server.routes().Get("/body", [](const httplib::Request&, httplib::Response& response) {
    response.status = 404;
    response.set_content("missing", "text/plain");
  });
  server.start();
  platform::testing::ScriptedServer hangUp([](auto&) {});

  struct Outcome {
    std::optional<URLResponse> response;
    std::string body;
    std::optional<platform::Error> error;
    bool onMain = false;
  };
  std::optional<Outcome> answered, failed;
  auto send = [](const std::string& url, std::optional<Outcome>& into) {
    platform::net::sendAsynchronousRequest(
        platform::net::URLRequest(*platform::URL::parse(url)), platform::mainQueue(),
        [&into](const std::optional<URLResponse>& response, const platform::Bytes& body,
                const std::optional<platform::Error>& error) {
          into = Outcome{response, platform::stringOf(body), error, platform::isMainThread()};
        });
  };
  send(server.url("/body"), answered);
  send(hangUp.url("/x"), failed);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return answered && failed; }));

  ASSERT_TRUE(answered->response);
  EXPECT_EQ(answered->response->statusCode, 404);  // an error status is an answer, not a failure
  EXPECT_EQ(answered->body, "missing");
  EXPECT_FALSE(answered->error);
  EXPECT_TRUE(answered->onMain);
  EXPECT_TRUE(failed->error);
  EXPECT_FALSE(failed->response);
}

TEST(HTTPStatusPhraseTest, KnownCodesAndClasses) {
  EXPECT_EQ(platform::net::localizedStringForHTTPStatusCode(404), "not found");
  EXPECT_EQ(platform::net::localizedStringForHTTPStatusCode(204), "no content");
  EXPECT_EQ(platform::net::localizedStringForHTTPStatusCode(418), "client error");
  EXPECT_EQ(platform::net::localizedStringForHTTPStatusCode(599), "server error");
}

}  // namespace
