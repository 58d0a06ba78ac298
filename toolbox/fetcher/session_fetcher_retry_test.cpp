#include <gtest/gtest.h>

#include <atomic>

#include "platform/dispatch/clock.h"
#include "platform/foundation/percent_encoding.h"
#include "platform/foundation/url_error.h"
#include "toolbox/fetcher/fetcher_test_support.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace {

using fetcher_test::begin;
using fetcher_test::Outcome;
using fetcher_test::requestFor;
using fetcher_test::waitFor;
using platform::testing::runMainLoopUntil;

// Retries run in virtual time: the test moves the clock and watches the server's hit count.
class SessionFetcherRetryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new fetcher_test::Server(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  ZSDK_ZTMSessionFetcher::Ptr fetcherFor(const std::string& path,
                                         const std::string& method = "GET") {
    platform::net::URLRequest request = requestFor(server_->url(path));
    request.httpMethod = method;
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithRequest(request);
    fetcher->setAllowLocalhostRequest(true);
    return fetcher;
  }

  // Waits until the try in flight has failed: a retry is pending, or the fetch completed.
  void waitForTryToEnd(const ZSDK_ZTMSessionFetcher::Ptr& fetcher, const Outcome& outcome) {
    ASSERT_TRUE(runMainLoopUntil([&] { return fetcher->hasRetryTimer() || outcome.calls > 0; }));
  }

  // Moves the clock to just before `delay` (nothing may happen), then to it (the next try
  // starts); checks the server saw exactly one more request.
  void expectRetryAfter(double delay, const std::string& path,
                        const ZSDK_ZTMSessionFetcher::Ptr& fetcher, const Outcome& outcome) {
    const int before = server_->hits(path);
    if (delay > 0) {
      clock_.advanceSeconds(delay - 0.01);
      platform::testing::drainMainLoop();
      EXPECT_EQ(server_->hits(path), before) << "retried before " << delay << " s";
      EXPECT_TRUE(fetcher->hasRetryTimer());
    }
    clock_.advanceSeconds(std::min(delay, 0.01));
    ASSERT_TRUE(runMainLoopUntil([&] { return server_->hits(path) == before + 1; }))
        << "no retry after " << delay << " s";
    waitForTryToEnd(fetcher, outcome);
  }

  static fetcher_test::Server* server_;
  platform::ManualClock clock_;
};

fetcher_test::Server* SessionFetcherRetryTest::server_ = nullptr;

TEST_F(SessionFetcherRetryTest, GetBacksOffDoublingUntilTheCeiling) {
  const std::string path = "/status/503";
  auto fetcher = fetcherFor(path);
  fetcher->setRetryEnabled(true);
  fetcher->setMinRetryInterval(1.5);
  fetcher_test::NotificationCounter notifications(fetcher.get());
  const int start = server_->hits(path);
  auto outcome = begin(fetcher);
  waitForTryToEnd(fetcher, *outcome);
  EXPECT_EQ(fetcher->maxRetryInterval(), 60.0);
  uint64_t expectedCount = 0;
  for (double delay : {1.5, 3.0, 6.0, 12.0, 24.0, 48.0}) {
    SCOPED_TRACE(delay);
    EXPECT_TRUE(fetcher->isFetching());
    expectRetryAfter(delay, path, fetcher, *outcome);
    EXPECT_EQ(fetcher->retryCount(), ++expectedCount);
  }
  // The next delay would reach the 60 s ceiling: the fetch ends with the status error.
  waitFor(outcome);
  EXPECT_EQ(outcome->error->domain(), kZTMSessionFetcherStatusDomain);
  EXPECT_EQ(outcome->code(), 503);
  EXPECT_EQ(server_->hits(path) - start, 7);
  EXPECT_FALSE(fetcher->isFetching());
  EXPECT_EQ(notifications.count(kZTMSessionFetcherStartedNotification), 7);
  EXPECT_EQ(notifications.count(kZTMSessionFetcherStoppedNotification), 7);
  EXPECT_EQ(notifications.count(kZTMSessionFetcherRetryDelayStartedNotification), 6);
  EXPECT_EQ(notifications.count(kZTMSessionFetcherRetryDelayStoppedNotification), 6);
}

TEST_F(SessionFetcherRetryTest, PostStopsOnceThreeCeilingsHavePassed) {
  const std::string path = "/status/502";
  auto fetcher = fetcherFor(path, "POST");
  fetcher->setRetryEnabled(true);
  fetcher->setRetryFactor(1.0);
  fetcher->setMinRetryInterval(100);
  const int start = server_->hits(path);
  auto outcome = begin(fetcher);
  waitForTryToEnd(fetcher, *outcome);
  EXPECT_EQ(fetcher->maxRetryInterval(), 600.0);
  // Tries at 0, 100, ... 1900 s; the failure at 1900 s is past 3 x 600 s.
  for (int retry = 1; retry <= 19; ++retry) {
    SCOPED_TRACE(retry);
    expectRetryAfter(100, path, fetcher, *outcome);
  }
  waitFor(outcome);
  EXPECT_EQ(outcome->code(), 502);
  EXPECT_EQ(server_->hits(path) - start, 20);
}

TEST_F(SessionFetcherRetryTest, RetryAfterHeaderSetsTheDelay) {
  struct Case {
    const char* value;
    double asked;
    double delay;
  };
  const Case cases[] = {
      {"5", 5.0, 5.0},
      {"100", 100.0, 60.0},  // retried, though the wait is capped by the 60 s ceiling
      {"Wed, 21 Oct 2015 07:28:00 GMT", 0.0, 0.0},  // in the past
      {"soon", 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string path = "/status/503";
    auto fetcher = fetcherFor(
        path + "?retry-after=" + platform::percentEncode(c.value, platform::kURLQueryValueAllowed));
    fetcher->setRetryEnabled(true);
    auto outcome = begin(fetcher);
    waitForTryToEnd(fetcher, *outcome);
    EXPECT_EQ(fetcher->nextRetryInterval(), c.asked);
    expectRetryAfter(c.delay, path, fetcher, *outcome);
    fetcher->stopFetching();
  }
}

TEST_F(SessionFetcherRetryTest, OnlyRetryableFailuresAreRetried) {
  for (const char* path : {"/status/404", "/status/500"}) {
    SCOPED_TRACE(path);
    auto fetcher = fetcherFor(path);
    fetcher->setRetryEnabled(true);
    auto outcome = begin(fetcher);
    waitFor(outcome);
    EXPECT_FALSE(fetcher->hasRetryTimer());
  }
  // A transport time-out is retried; the time-out runs on the platform clock too.
  std::atomic<int> requests{0};
  platform::testing::ScriptedServer silent([&](platform::testing::ScriptedServer::Connection& c) {
    c.readRequest();
    ++requests;
    c.hold();
  });
  platform::net::URLRequest request = requestFor(silent.url("/"));
  request.timeoutInterval = 20;
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithRequest(request);
  fetcher->setAllowLocalhostRequest(true);
  fetcher->setRetryEnabled(true);
  auto outcome = begin(fetcher);
  ASSERT_TRUE(runMainLoopUntil([&] { return requests == 1; }));
  clock_.advanceSeconds(21);
  waitForTryToEnd(fetcher, *outcome);
  EXPECT_TRUE(fetcher->hasRetryTimer());
  EXPECT_EQ(outcome->calls, 0);
  fetcher->stopFetching();

  struct Case {
    const char* domain;
    int64_t code;
    bool retryable;
  };
  const Case errors[] = {
      {kZTMSessionFetcherStatusDomain, 408, true},
      {kZTMSessionFetcherStatusDomain, 502, true},
      {kZTMSessionFetcherStatusDomain, 503, true},
      {kZTMSessionFetcherStatusDomain, 504, true},
      {kZTMSessionFetcherStatusDomain, 500, false},
      {platform::kURLErrorDomain, -1001, true},
      {platform::kURLErrorDomain, -1005, true},
      {platform::kURLErrorDomain, -1004, false},
      {"other", 503, false},
  };
  for (const Case& c : errors) {
    EXPECT_EQ(ZSDK_ZTMSessionFetcher::isRetryError(platform::Error(c.domain, c.code)), c.retryable)
        << c.domain << " " << c.code;
  }
  EXPECT_FALSE(ZSDK_ZTMSessionFetcher::isRetryError(std::nullopt));
}

// Signs with a new token each time and can refresh once.
class CountingAuthorizer : public ZTMFetcherAuthorizationProtocol {
 public:
  bool isAuthorizedRequest(const platform::net::URLRequest& request) override {
    return request.headers.contains("Authorization");
  }
  void authorizeRequest(platform::net::URLRequest request, FinishedHandler finished) override {
    request.headers.set("Authorization", "Bearer t" + std::to_string(++signatures));
    finished(std::move(request), std::nullopt);
  }
  bool primeForRefresh() override {
    ++refreshes;
    return true;
  }
  int signatures = 0;
  int refreshes = 0;
};

TEST_F(SessionFetcherRetryTest, UnauthorizedIsRefreshedOnceEvenWithRetryOff) {
  const std::string path = "/status/401";
  auto fetcher = fetcherFor(path);
  auto authorizer = std::make_shared<CountingAuthorizer>();
  fetcher->setAuthorizer(authorizer);
  fetcher->setMinRetryInterval(1.25);
  const int start = server_->hits(path);
  auto outcome = begin(fetcher);
  waitForTryToEnd(fetcher, *outcome);
  EXPECT_EQ(authorizer->signatures, 1);
  expectRetryAfter(1.25, path, fetcher, *outcome);
  waitFor(outcome);
  EXPECT_EQ(outcome->code(), 401);
  EXPECT_EQ(authorizer->signatures, 2);  // the refreshed try was signed again
  EXPECT_EQ(authorizer->refreshes, 1);
  EXPECT_EQ(server_->hits(path) - start, 2);
}

TEST_F(SessionFetcherRetryTest, AuthorizerErrorEndsTheFetchUnchanged) {
  class Refusing : public ZTMFetcherAuthorizationProtocol {
    void authorizeRequest(platform::net::URLRequest request, FinishedHandler finished) override {
      finished(std::move(request), platform::Error("com.example.auth", 7));
    }
  };
  const int start = server_->hits("/echo");
  auto fetcher = fetcherFor("/echo");
  fetcher->setAuthorizer(std::make_shared<Refusing>());
  auto outcome = begin(fetcher);
  waitFor(outcome);
  EXPECT_EQ(outcome->error, platform::Error("com.example.auth", 7));
  EXPECT_EQ(server_->hits("/echo"), start);
}

TEST_F(SessionFetcherRetryTest, StopDuringTheWaitEndsIt) {
  const std::string path = "/status/503";
  auto fetcher = fetcherFor(path);
  fetcher->setRetryEnabled(true);
  fetcher_test::NotificationCounter notifications(fetcher.get());
  auto outcome = begin(fetcher);
  waitForTryToEnd(fetcher, *outcome);
  const int hits = server_->hits(path);
  fetcher->stopFetching();
  EXPECT_FALSE(fetcher->isFetching());
  EXPECT_EQ(notifications.count(kZTMSessionFetcherRetryDelayStoppedNotification), 1);
  clock_.advanceSeconds(600);
  platform::testing::drainMainLoop();
  EXPECT_EQ(server_->hits(path), hits);
  EXPECT_EQ(outcome->calls, 0);
}

TEST_F(SessionFetcherRetryTest, RetryBlockOverrulesTheSuggestion) {
  const std::string path = "/status/404";
  auto fetcher = fetcherFor(path);
  fetcher->setRetryEnabled(true);
  fetcher->setMinRetryInterval(2);
  std::vector<std::string> asked;
  fetcher->setRetryBlock([&](bool suggested, const std::optional<platform::Error>& error,
                             std::function<void(bool)> response) {
    asked.push_back(std::to_string(suggested) + " " + std::to_string(error->code()));
    response(asked.size() == 1);
  });
  auto outcome = begin(fetcher);
  waitForTryToEnd(fetcher, *outcome);
  expectRetryAfter(2, path, fetcher, *outcome);
  waitFor(outcome);
  EXPECT_EQ(outcome->code(), 404);
  EXPECT_EQ(asked, (std::vector<std::string>{"0 404", "0 404"}));
}

}  // namespace
