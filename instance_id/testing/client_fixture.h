#pragma once
// The setting most tests of the identity client need: a throw-away app (bundle, home, keychain),
// a local identity service, virtual time and helpers to wait for main-queue answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "instance_id/iid_utilities.h"
#include "instance_id/instance_id.h"
#include "instance_id/testing/identity_server.h"
#include "platform/dispatch/clock.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

namespace instance_id_testing {

inline constexpr const char* kBundleID = "com.example.iid-app";

// What a handler received, and how often.
struct Answer {
  int calls = 0;
  bool onMainThread = true;
  std::optional<std::string> value;
  std::optional<platform::Error> error;
  int64_t code() const { return error ? error->code() : -1; }
};

class ClientTest : public ::testing::Test {
 protected:
  ClientTest() { server_.setCheckinTimeMillis(nowMillis()); }
  ~ClientTest() override { VIZInstanceID::resetSharedInstanceForTesting(); }

  static int64_t nowMillis() { return VIZInstanceIDCurrentTimestampInMilliseconds(); }

  // A handler for token-like answers and one for error-only answers, both recording into `answer`.
  static VIZInstanceID::TokenHandler tokenHandler(Answer& answer) {
    return [&answer](const std::optional<std::string>& value,
                     const std::optional<platform::Error>& error) {
      ++answer.calls;
      answer.onMainThread = answer.onMainThread && platform::isMainThread();
      answer.value = value;
      answer.error = error;
    };
  }
  static VIZInstanceID::ErrorHandler errorHandler(Answer& answer) {
    return [&answer](const std::optional<platform::Error>& error) {
      ++answer.calls;
      answer.onMainThread = answer.onMainThread && platform::isMainThread();
      answer.error = error;
    };
  }
  // Runs the main loop until the handler ran, then until nothing more is queued, so a second call
  // would show.
  static void waitFor(const Answer& answer) {
    ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return answer.calls > 0; }));
    platform::testing::drainMainLoop();
    EXPECT_EQ(answer.calls, 1);
    EXPECT_TRUE(answer.onMainThread);
  }

  // A reinstall: the app's home goes (documents, preferences), the keychain stays.
  void wipeAppHome() {
    platform::UserDefaults::resetStandard();
    for (const auto& entry : std::filesystem::directory_iterator(app_.appHome())) {
      std::filesystem::remove_all(entry.path());
    }
  }

  platform::ManualClock clock_;
  platform::testing::TestApp app_{kBundleID, {{"CFBundleShortVersionString", "2.5"}}};
  IdentityServer server_;
};

}  // namespace instance_id_testing
