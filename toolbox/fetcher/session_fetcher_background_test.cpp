#include <gtest/gtest.h>

#include "platform/dispatch/clock.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/json.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/test_app.h"
#include "toolbox/fetcher/fetcher_test_support.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace {

using fetcher_test::begin;
using fetcher_test::waitFor;
using platform::testing::runMainLoopUntil;
using platform::testing::ScriptedServer;

std::vector<std::string> persisted() {
  std::vector<std::string> identifiers;
  if (auto list = platform::UserDefaults::standard()->arrayForKey(
          kZTMSessionFetcherPersistedDestinationKey)) {
    for (const platform::Value& entry : *list) identifiers.push_back(entry.stringOr(""));
  }
  return identifiers;
}

bool persistedKeyExists() {
  return !platform::UserDefaults::standard()
              ->objectForKey(kZTMSessionFetcherPersistedDestinationKey)
              .isNull();
}

class BackgroundTest : public ::testing::Test {
 protected:
  platform::testing::TestApp app_;
  // Identifiers are process-wide: each test takes fresh ones.
  const std::string kUUID = platform::randomUUIDString();
};

TEST_F(BackgroundTest, IdentifierCarriesCallerMetadataAndTheDestination) {
  ScriptedServer silent([](ScriptedServer::Connection& connection) {
    connection.readRequest();
    connection.hold();
  });
  platform::testing::TempDir folder;
  const platform::URL destination = platform::URL::fileURL((folder / "file.bin").string()).value();
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(silent.url("/"));
  fetcher->setAllowLocalhostRequest(true);
  fetcher->setUseBackgroundSession(true);
  fetcher->setDestinationFileURL(destination);
  fetcher->setSessionUserInfo(platform::Value::dictionary({{"K", "V"}}));
  auto outcome = begin(fetcher);

  const std::string identifier = fetcher->sessionIdentifier();
  const std::string prefix =
      "com.zorova.ZTMSessionFetcher_" + fetcher->sessionIdentifierUUID() + "_";
  ASSERT_EQ(identifier.rfind(prefix, 0), 0u) << identifier;
  EXPECT_EQ(fetcher->sessionIdentifierUUID().size(), 36u);
  EXPECT_EQ(platform::parseJSON(identifier.substr(prefix.size())).value(),
            platform::Value::dictionary({{"K", "V"}, {"_destURL", destination.absoluteString()}}));
  EXPECT_TRUE(fetcher->didCreateSessionIdentifier());
  // While it runs, the identifier is listed in the user defaults; a stop takes it out.
  EXPECT_EQ(persisted(), std::vector<std::string>{identifier});
  EXPECT_EQ(ZSDK_ZTMSessionFetcher::activePersistedBackgroundSessions(),
            std::vector<std::string>{identifier});
  fetcher->stopFetching();
  EXPECT_FALSE(persistedKeyExists());

  // A fetcher made from the text alone (as after a restart) finds its destination and metadata.
  const std::string elsewhere =
      std::string("com.zorova.ZTMSessionFetcher_") + kUUID + "_" +
      platform::toJSON(
          platform::Value::dictionary({{"K", "V"}, {"_destURL", destination.absoluteString()}}))
          .value();
  auto restored = ZSDK_ZTMSessionFetcher::fetcherWithSessionIdentifier(elsewhere);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->destinationFileURL(), destination);
  EXPECT_EQ(restored->sessionUserInfo(), platform::Value::dictionary({{"K", "V"}}));
  EXPECT_EQ(restored->sessionIdentifierUUID(), kUUID);
  EXPECT_EQ(restored->comment(), "Resuming " + kUUID);
  EXPECT_TRUE(restored->useBackgroundSession());
  EXPECT_EQ(ZSDK_ZTMSessionFetcher::fetcherWithSessionIdentifier(elsewhere), restored);
}

TEST_F(BackgroundTest, IdentifierWithoutMetadata) {
  fetcher_test::Server server;
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(server.url("/echo"));
  fetcher->setAllowLocalhostRequest(true);
  fetcher->setUseBackgroundSession(true);
  auto outcome = begin(fetcher);
  waitFor(outcome);
  EXPECT_EQ(outcome->text(), "GET ");
  const std::string identifier = fetcher->sessionIdentifier();
  EXPECT_EQ(identifier.size(), std::string("com.zorova.ZTMSessionFetcher_").size() + 36);
  EXPECT_FALSE(persistedKeyExists());

  const std::string bare = std::string("com.zorova.ZTMSessionFetcher_") + kUUID;
  auto restored = ZSDK_ZTMSessionFetcher::fetcherWithSessionIdentifier(bare);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->sessionIdentifierUUID(), "");
  EXPECT_EQ(restored->comment(), "Resuming ?");
  EXPECT_EQ(restored->sessionUserInfo(), std::nullopt);
  EXPECT_FALSE(ZSDK_ZTMSessionFetcher::fetcherWithSessionIdentifier("com.example.other_x"));
}

TEST_F(BackgroundTest, RestorationAtStartUpEndsFetchesWhoseSessionHasNoTasks) {
  platform::ManualClock clock;
  EXPECT_TRUE(ZSDK_ZTMSessionFetcher::fetchersForBackgroundSessions().empty());

  const std::string first = std::string("com.zorova.ZTMSessionFetcher_") + kUUID;
  const std::string second = "com.zorova.ZTMSessionFetcher_" + platform::randomUUIDString();
  ASSERT_TRUE(platform::UserDefaults::standard()
                  ->setObject(platform::Value::array({first, second}),
                              kZTMSessionFetcherPersistedDestinationKey)
                  .ok());

  // The caller's view: a restored fetch that finds no task fails with -4 one second later.
  auto watched = ZSDK_ZTMSessionFetcher::fetcherWithSessionIdentifier(second);
  auto outcome = begin(watched);
  std::vector<ZSDK_ZTMSessionFetcher::Ptr> restored =
      ZSDK_ZTMSessionFetcher::fetchersForBackgroundSessions();
  ASSERT_EQ(restored.size(), 2u);
  EXPECT_EQ(restored[0]->sessionIdentifier(), first);
  EXPECT_EQ(restored[1], watched);
  platform::testing::drainMainLoop();
  clock.advanceSeconds(0.9);
  platform::testing::drainMainLoop();
  EXPECT_EQ(outcome->calls, 0);
  clock.advanceSeconds(0.1);
  waitFor(outcome);
  EXPECT_EQ(outcome->error->domain(), kZTMSessionFetcherErrorDomain);
  EXPECT_EQ(outcome->code(), -4);
  EXPECT_TRUE(outcome->error->userInfo().size() == 0);
  // Both identifiers left the list, and with the last one the key itself.
  EXPECT_FALSE(persistedKeyExists());
  // The failed fetchers let their sessions go, and are let go in turn.
  std::weak_ptr<ZSDK_ZTMSessionFetcher> firstFetcher = restored[0];
  restored.clear();
  watched.reset();
  ASSERT_TRUE(runMainLoopUntil([&] { return firstFetcher.expired(); }));
}

TEST_F(BackgroundTest, SystemCompletionHandlersByIdentifier) {
  const std::string identifier = std::string("com.zorova.ZTMSessionFetcher_") + kUUID;
  int called = 0;
  ZSDK_ZTMSessionFetcher::handleEventsForBackgroundURLSession(identifier, [&] { ++called; });
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithSessionIdentifier(identifier);
  ASSERT_TRUE(fetcher->systemCompletionHandler());
  ZSDK_ZTMSessionFetcher::systemCompletionHandlerForSessionIdentifier(identifier)();
  EXPECT_EQ(called, 1);
  ZSDK_ZTMSessionFetcher::setSystemCompletionHandler(nullptr, identifier);
  EXPECT_FALSE(fetcher->systemCompletionHandler());
}

TEST_F(BackgroundTest, RetryMakesAFreshIdentifier) {
  platform::ManualClock clock;
  fetcher_test::Server server;
  auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(server.url("/status/503"));
  fetcher->setAllowLocalhostRequest(true);
  fetcher->setUseBackgroundSession(true);
  fetcher->setRetryEnabled(true);
  fetcher->setMinRetryInterval(1);
  auto outcome = begin(fetcher);
  const std::string first = fetcher->sessionIdentifier();
  ASSERT_TRUE(runMainLoopUntil([&] { return fetcher->hasRetryTimer(); }));
  clock.advanceSeconds(1);
  ASSERT_TRUE(runMainLoopUntil([&] { return server.hits("/status/503") == 2; }));
  EXPECT_FALSE(fetcher->sessionIdentifier().empty());
  EXPECT_NE(fetcher->sessionIdentifier(), first);
  EXPECT_FALSE(ZSDK_ZTMSessionFetcher::registeredFetcherForSessionIdentifier(first));
  fetcher->stopFetching();
}

}  // namespace
