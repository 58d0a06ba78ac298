#include <gtest/gtest.h>

#include <thread>

#include "ads/foundation/internal_errors.h"
#include "ads/foundation/logger.h"
#include "ads/foundation/main_thread.h"
#include "ads/foundation/request_error.h"
#include "ads/testing/fake_sdk_core.h"
#include "platform/foundation/system_info.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"

namespace {

using platform::Error;
using platform::Value;

std::string description(const Error& error) {
  return error.userInfo()[Error::kDescriptionKey].stringOr("");
}

TEST(ZADRequestErrorTest, MessagesComeFromTheTableOrTheCaller) {
  struct Case {
    ZADRequestError error;
    std::string message;
  };
  const Case cases[] = {
      {ZADRequestError::errorWithCode(1), "Request Error: No ad to show."},
      {ZADRequestError::errorWithCode(13), "Request Error: Received invalid response."},
      {ZADRequestError::errorWithCode(99), ZADRequestError::messageForCode(0)},
      {ZADRequestError::errorWithCode(-1), ZADRequestError::messageForCode(0)},
      {ZADRequestError::errorWithCode(2, std::string("custom")), "custom"},
      {ZADRequestError::errorWithCode(4), "Request Error: This device's OS is " +
                                              platform::systemVersion() +
                                              ". It is below the minimum of 6.0."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(c.error.domain(), "com.zorova.ads");
    EXPECT_EQ(description(c.error), c.message);
    EXPECT_EQ(c.error.userInfo()[Error::kFailureReasonKey].stringOr(""), c.message);
    EXPECT_EQ(c.error.userInfo().size(), 2u);
  }
  EXPECT_EQ(ZADRequestError::messageForCode(0),
            "Request Error: Invalid ad request parameter(s). Check the Xcode console for "
            "details.");
}

TEST(ZADRequestErrorTest, RequestParametersOnlyForCodeZeroAndHTTPStatusWhenGiven) {
  ads::testing::FakeRequest request({{"a", "b"}});
  ZADRequestError invalid = ZADRequestError::errorWithCode(0, &request);
  EXPECT_EQ(invalid.userInfo()["a"].stringOr(""), "b");
  EXPECT_EQ(invalid.userInfo().size(), 3u);
  ZADRequestError noFill = ZADRequestError::errorWithCode(1, &request);
  EXPECT_TRUE(noFill.userInfo()["a"].isNull());

  EXPECT_TRUE(ZADRequestError::errorWithCode(3, nullptr, 0).userInfo()["HttpStatus"].isNull());
  EXPECT_EQ(ZADRequestError::errorWithCode(3, nullptr, 404).userInfo()["HttpStatus"].stringOr(""),
            "HTTP status 404: not found");
}

TEST(ZADRequestErrorTest, UnderlyingErrorsAndForeignDomains) {
  const Error cause = Error::withDescription("net", 7, "offline");
  ZADRequestError wrapped = ZADRequestError::errorWithCode(2, cause);
  EXPECT_EQ(description(wrapped), "offline");
  EXPECT_EQ(wrapped.userInfo()[Error::kUnderlyingErrorKey]["domain"].stringOr(""), "net");
  EXPECT_EQ(wrapped.userInfo()[Error::kUnderlyingErrorKey]["code"].intOr(0), 7);

  ZADRequestError foreign = ZADRequestError::errorWithDomain("other", 5, Value::dictionary());
  EXPECT_EQ(foreign.domain(), "com.zorova.ads");
  EXPECT_EQ(foreign.code(), 11);
  EXPECT_EQ(foreign.userInfo()[Error::kUnderlyingErrorKey]["domain"].stringOr(""), "other");

  const Error plain = wrapped.error();
  EXPECT_EQ(plain, static_cast<const Error&>(wrapped));
}

TEST(ZADInternalErrorsTest, DescriptionsAndUserInfo) {
  EXPECT_EQ(zad_localizedDescriptionForErrorCode(1), "File could not be read.");
  EXPECT_EQ(zad_localizedDescriptionForErrorCode(3), "Invalid argument.");
  EXPECT_FALSE(zad_localizedDescriptionForErrorCode(0));
  EXPECT_FALSE(zad_localizedDescriptionForErrorCode(4));

  const Error bare = zad_errorWithCode(2, std::nullopt);
  EXPECT_EQ(bare.domain(), "com.zorova.ads.private");
  EXPECT_EQ(bare.userInfo().size(), 0u);
  const Error described = zad_errorWithDomain("d", 9, "text");
  EXPECT_EQ(described.userInfo(), Value::dictionary({{Error::kDescriptionKey, "text"},
                                                     {Error::kFailureReasonKey, "text"}}));
}

TEST(ZADLoggerTest, WritesPrefixedMessagesInOrder) {
  platform::testing::LogCapture capture;
  ZADLogger::sharedInstance().logPublicMessage("first");
  ZADLogMessage("%s %d", "second", 2);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return capture.lines().size() >= 2; }));
  const auto lines = capture.lines();
  EXPECT_EQ(lines[0], "<Zorova> first");
  EXPECT_EQ(lines[1], "second 2");
}

TEST(ZADRunOnMainThreadTest, InlineOnMainQueuedElsewhere) {
  bool ran = false;
  ZADRunOnMainThread([&] { ran = true; });
  EXPECT_TRUE(ran);

  std::vector<int> order;
  std::thread([&] {
    for (int i = 0; i < 3; ++i) ZADRunOnMainThread([&order, i] { order.push_back(i); });
  }).join();
  EXPECT_TRUE(order.empty());
  platform::testing::drainMainLoop();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

}  // namespace
