#pragma once

// Shared by the fetcher's tests: a loopback server with the routes they fetch, and a record of
// what a fetch's completion handler received.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace fetcher_test {

// What the completion handler was given, and how often.
struct Outcome {
  int calls = 0;
  bool onMainThread = false;
  std::optional<platform::Bytes> data;
  std::optional<platform::Error> error;

  std::string text() const { return data ? platform::stringOf(*data) : "<nil>"; }
  int64_t code() const { return error ? error->code() : 0; }
};

inline std::shared_ptr<Outcome> begin(const ZSDK_ZTMSessionFetcher::Ptr& fetcher) {
  auto outcome = std::make_shared<Outcome>();
  fetcher->beginFetchWithCompletionHandler([outcome](const std::optional<platform::Bytes>& data,
                                                     const std::optional<platform::Error>& error) {
    ++outcome->calls;
    outcome->onMainThread = platform::isMainThread();
    outcome->data = data;
    outcome->error = error;
  });
  return outcome;
}

// Runs the main loop until the handler ran, then on until nothing more is queued, so a second
// call would show.
inline void waitFor(const std::shared_ptr<Outcome>& outcome) {
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return outcome->calls > 0; }));
  platform::testing::drainMainLoop();
  EXPECT_EQ(outcome->calls, 1);
}

// Counts the fetcher notifications of one fetcher.
class NotificationCounter {
 public:
  explicit NotificationCounter(const ZSDK_ZTMSessionFetcher* fetcher) {
    for (const char* name :
         {kZTMSessionFetcherStartedNotification, kZTMSessionFetcherStoppedNotification,
          kZTMSessionFetcherRetryDelayStartedNotification,
          kZTMSessionFetcherRetryDelayStoppedNotification}) {
      observations_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
          name, fetcher,
          [this, name](const platform::Notification&) { log_ += std::string(name) + "\n"; }));
    }
  }
  int count(const char* name) const {
    int found = 0;
    for (size_t at = log_.find(name); at != std::string::npos; at = log_.find(name, at + 1)) {
      ++found;
    }
    return found;
  }

 private:
  std::string log_;
  std::vector<platform::NotificationCenter::Observation> observations_;
};

// One HTTP server for a whole test suite, with the routes the tests fetch.
class Server {
 public:
  Server();
  platform::testing::HttpServer& http() { return http_; }
  std::string url(const std::string& path) const { return http_.url(path); }
  // Requests seen on a path so far.
  int hits(const std::string& path) const;

 private:
  platform::testing::HttpServer http_;
  mutable platform::Mutex mutex_;
  std::map<std::string, int> hits_ VKR_GUARDED_BY(mutex_);
};

inline platform::net::URLRequest requestFor(const std::string& url) {
  return platform::net::URLRequest(platform::URL::parse(url).value());
}

}  // namespace fetcher_test
