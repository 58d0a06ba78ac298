#include "toolbox/fetcher/session_fetcher_service.h"

#include <gtest/gtest.h>

#include "platform/dispatch/clock.h"
#include "platform/testing/test_app.h"
#include "toolbox/fetcher/fetcher_test_support.h"

namespace {

using fetcher_test::begin;
using fetcher_test::Outcome;
using fetcher_test::waitFor;
using platform::testing::runMainLoopUntil;
using FetcherPtr = ZSDK_ZTMSessionFetcher::Ptr;

// Holds every simulated fetch until the test answers it.
struct HeldAnswers {
  std::map<const ZSDK_ZTMSessionFetcher*, ZSDK_ZTMSessionFetcher::TestResponse> pending;
  std::vector<std::string> started;

  ZSDK_ZTMSessionFetcher::TestBlock block() {
    return [this](ZSDK_ZTMSessionFetcher& fetcher, ZSDK_ZTMSessionFetcher::TestResponse respond) {
      started.push_back(fetcher.comment());
      pending[&fetcher] = std::move(respond);
    };
  }
  void answer(const FetcherPtr& fetcher) {
    auto respond = std::move(pending.at(fetcher.get()));
    pending.erase(fetcher.get());
    platform::net::URLResponse response;
    response.url = *fetcher->request()->url;
    response.isHTTP = true;
    response.statusCode = 200;
    respond(response, platform::bytesOf("done"), std::nullopt);
  }
};

class FetcherServiceTest : public ::testing::Test {
 protected:
  FetcherServiceTest() { service_->setAllowedInsecureSchemes({"http", "file"}); }

  FetcherPtr make(const std::string& comment, int64_t priority = 0,
                  const std::string& url = "http://example.invalid/x") {
    FetcherPtr fetcher = service_->fetcherWithURLString(url);
    fetcher->setComment(comment);
    fetcher->setServicePriority(priority);
    return fetcher;
  }

  platform::testing::TestApp app_;
  std::shared_ptr<ZSDK_ZTMSessionFetcherService> service_ = ZSDK_ZTMSessionFetcherService::make();
  HeldAnswers held_;
};

TEST_F(FetcherServiceTest, EleventhFetcherIsHeldAndReleasedByPriority) {
  service_->setTestBlock(held_.block());
  std::vector<FetcherPtr> running;
  std::vector<std::shared_ptr<Outcome>> outcomes;
  for (int i = 0; i < 10; ++i) {
    running.push_back(make("run" + std::to_string(i)));
    outcomes.push_back(begin(running.back()));
  }
  FetcherPtr late = make("late", 5);
  FetcherPtr urgentFirst = make("urgent-first", -1);
  FetcherPtr urgentSecond = make("urgent-second", -1);
  for (const FetcherPtr& fetcher : {late, urgentFirst, urgentSecond}) {
    outcomes.push_back(begin(fetcher));
  }
  EXPECT_EQ(service_->numberOfRunningFetchers(), 10u);
  EXPECT_EQ(service_->numberOfDelayedFetchers(), 3u);
  EXPECT_TRUE(late->isFetching());
  EXPECT_TRUE(service_->isDelayingFetcher(*late));
  EXPECT_EQ(held_.started.size(), 10u);

  // Another host has a limit of its own; a background fetcher is never held.
  FetcherPtr other = make("other-host", 0, "http://other.invalid/x");
  FetcherPtr background = make("background");
  background->setUseBackgroundSession(true);
  begin(other);
  begin(background);
  EXPECT_EQ(held_.started.size(), 12u);
  EXPECT_EQ(service_->numberOfDelayedFetchers(), 3u);

  // Each stop admits the lowest priority, the earliest held among equals.
  held_.answer(running[0]);
  ASSERT_TRUE(runMainLoopUntil([&] { return held_.started.size() == 13; }));
  running[1]->stopFetching();
  held_.answer(running[2]);
  ASSERT_TRUE(runMainLoopUntil([&] { return held_.started.size() == 15; }));
  EXPECT_EQ(std::vector<std::string>(held_.started.begin() + 12, held_.started.end()),
            (std::vector<std::string>{"urgent-first", "urgent-second", "late"}));
  EXPECT_EQ(service_->numberOfDelayedFetchers(), 0u);
  waitFor(outcomes[0]);
  EXPECT_EQ(outcomes[0]->text(), "done");
  EXPECT_EQ(outcomes[1]->calls, 0);  // stopped by its caller

  service_->stopAllFetchers();
  EXPECT_EQ(service_->numberOfFetchers(), 0u);
  EXPECT_EQ(service_->issuedFetchers(), std::nullopt);
}

TEST_F(FetcherServiceTest, NoLimitAndHostlessRequests) {
  service_->setTestBlock(held_.block());
  service_->setMaxRunningFetchersPerHost(0);
  for (int i = 0; i < 12; ++i) begin(make("run" + std::to_string(i)));
  EXPECT_EQ(service_->numberOfDelayedFetchers(), 0u);
  EXPECT_EQ(service_->numberOfRunningFetchers(), 12u);
  // A file URL without a host counts under "localhost".
  FetcherPtr file = make("file", 0, "file:///tmp/x");
  begin(file);
  EXPECT_EQ(service_->runningFetchersByHost().count("localhost"), 1u);
  EXPECT_EQ(service_->issuedFetchersWithRequestURL(platform::URL::parse("file:///tmp/x").value()),
            std::nullopt);
  auto matching = service_->issuedFetchersWithRequestURL(
      platform::URL::parse("http://example.invalid/x").value());
  ASSERT_TRUE(matching);
  EXPECT_EQ(matching->size(), 12u);
  service_->stopAllFetchers();
}

TEST_F(FetcherServiceTest, NewFetchersTakeTheServiceSettings) {
  service_->setUserAgent("ServiceAgent/1");
  service_->setAllowLocalhostRequest(true);
  service_->setRetryEnabled(true);
  service_->setProperties(platform::Value::dictionary({{"k", "v"}}));
  FetcherPtr plain = make("plain");
  EXPECT_EQ(plain->request()->valueForHTTPHeaderField("User-Agent"), "ServiceAgent/1");
  EXPECT_TRUE(plain->allowLocalhostRequest());
  EXPECT_TRUE(plain->isRetryEnabled());
  EXPECT_EQ(plain->propertyForKey("k"), platform::Value("v"));
  EXPECT_EQ(plain->service(), service_);
  platform::net::URLRequest own(platform::URL::parse("http://example.invalid/").value());
  own.setValue("Mine/2", "User-Agent");
  EXPECT_EQ(service_->fetcherWithRequest(own)->request()->valueForHTTPHeaderField("User-Agent"),
            "Mine/2");
}

TEST_F(FetcherServiceTest, CannedServiceAnswersEveryFetch) {
  auto ok = ZSDK_ZTMSessionFetcherService::mockFetcherServiceWithFakedData(platform::bytesOf("x"),
                                                                           std::nullopt);
  FetcherPtr fetcher = ok->fetcherWithURLString("http://example.invalid/");
  auto outcome = begin(fetcher);
  waitFor(outcome);
  EXPECT_EQ(outcome->text(), "x");
  EXPECT_EQ(fetcher->statusCode(), 200);
  auto failing = ZSDK_ZTMSessionFetcherService::mockFetcherServiceWithFakedData(
      std::nullopt, platform::Error("test", 7));
  auto failed = begin(failing->fetcherWithURLString("http://example.invalid/"));
  waitFor(failed);
  EXPECT_EQ(failed->code(), 7);
}

class SharedSessionTest : public FetcherServiceTest {
 protected:
  fetcher_test::Server server_;
};

TEST_F(SharedSessionTest, FetchersShareOneSessionUntilItIsDiscarded) {
  platform::ManualClock clock;
  service_->setAllowLocalhostRequest(true);
  FetcherPtr first = service_->fetcherWithURLString(server_.url("/echo"));
  auto firstOutcome = begin(first);
  waitFor(firstOutcome);
  EXPECT_EQ(firstOutcome->text(), "GET ");
  std::shared_ptr<platform::net::URLSession> shared = service_->session();
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared->delegate(), service_->delegateDispatcher());

  FetcherPtr second = service_->fetcherWithURLString(server_.url("/bytes?n=5"));
  auto secondOutcome = begin(second);
  EXPECT_EQ(second->session(), shared);
  waitFor(secondOutcome);
  EXPECT_EQ(secondOutcome->text(), "abcde");

  // Quiet for the unused-session time-out: the next fetcher makes a new session.
  clock.advanceSeconds(59);
  EXPECT_EQ(service_->session(), shared);
  clock.advanceSeconds(1);
  EXPECT_EQ(service_->session(), nullptr);
  // A time-out of 0 never discards.
  service_->setUnusedSessionTimeout(0);
  FetcherPtr third = service_->fetcherWithURLString(server_.url("/echo"));
  auto thirdOutcome = begin(third);
  waitFor(thirdOutcome);
  EXPECT_NE(service_->session(), nullptr);
  EXPECT_NE(service_->session(), shared);
  clock.advanceSeconds(3600);
  EXPECT_NE(service_->session(), nullptr);
}

TEST_F(SharedSessionTest, WaitForAllFetchers) {
  service_->setAllowLocalhostRequest(true);
  platform::testing::ScriptedServer silent([](platform::testing::ScriptedServer::Connection& c) {
    c.readRequest();
    c.hold();
  });
  FetcherPtr hanging = service_->fetcherWithURLString(silent.url("/"));
  begin(hanging);
  EXPECT_FALSE(service_->waitForCompletionOfAllFetchersWithTimeout(0));
  EXPECT_EQ(service_->numberOfRunningFetchers(), 1u);
  service_->stopAllFetchers();

  std::vector<std::shared_ptr<Outcome>> outcomes;
  for (int i = 0; i < 3; ++i) {
    outcomes.push_back(begin(service_->fetcherWithURLString(server_.url("/echo"))));
  }
  EXPECT_TRUE(service_->waitForCompletionOfAllFetchersWithTimeout(10));
  for (const auto& outcome : outcomes) EXPECT_EQ(outcome->calls, 1);
}

}  // namespace
