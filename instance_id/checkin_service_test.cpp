#include "instance_id/checkin_service.h"

#include <gtest/gtest.h>

#include "instance_id/iid_store.h"
#include "instance_id/testing/client_fixture.h"
#include "instance_id/testing/iid_log_capture.h"
#include "platform/foundation/json.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace instance_id_testing {
namespace {

class CheckinServiceTest : public ClientTest {
 protected:
  // Runs one check-in and answers its error.
  std::optional<platform::Error> checkin() {
    Answer answer;
    service_->checkinWithCompletion(errorHandler(answer));
    waitFor(answer);
    return answer.error;
  }
  platform::Value lastRequest() {
    auto requests = server_.requests("/checkin");
    EXPECT_FALSE(requests.empty());
    return requests.empty() ? platform::Value() : *platform::parseJSON(requests.back().body);
  }

  std::shared_ptr<VIZInstanceIDStore> store_ = VIZInstanceIDStore::defaultStore();
  std::shared_ptr<VIZInstanceIDCheckinService> service_ =
      std::make_shared<VIZInstanceIDCheckinService>(store_);
};

TEST_F(CheckinServiceTest, FirstCheckinSendsZerosAndStoresTheExactCredentials) {
  ASSERT_EQ(checkin(), std::nullopt);
  EXPECT_TRUE(server_.problems().empty());
  const std::string body = server_.requests("/checkin").front().body;
  EXPECT_NE(body.find(R"("id":0,"security_token":0)"), std::string::npos) << body;
  platform::Value request = lastRequest();
  EXPECT_EQ(request.size(), 10u);
  EXPECT_EQ(request["digest"], platform::Value(""));
  EXPECT_EQ(request["version"], platform::Value(2));
  EXPECT_EQ(request["checkin"]["type"], platform::Value(2));
  EXPECT_EQ(request["checkin"]["last_checkin_msec"], platform::Value(0));
  EXPECT_EQ(request["checkin"]["iosbuild"]["os_version"].stringOr("").substr(0, 4), "IOS_");
  EXPECT_FALSE(request["locale"].stringOr("").empty());
  EXPECT_FALSE(request["timezone"].stringOr("").empty());

  EXPECT_EQ(service_->deviceAuthID(), IdentityServer::kDeviceID);
  EXPECT_EQ(service_->secretToken(), IdentityServer::kSecretToken);
  EXPECT_EQ(service_->versionInfo(), IdentityServer::kVersionInfo);
  EXPECT_TRUE(service_->hasValidCheckinInfo());
  ASSERT_TRUE(service_->checkinPreferences());
  EXPECT_EQ(service_->checkinPreferences()->zServicesData(),
            (platform::Dictionary{{"gms_max_ttl", "86400"}}));

  // The next check-in sends the stored id back, exactly, above the signed range.
  ASSERT_EQ(checkin(), std::nullopt);
  const std::string again = server_.requests("/checkin").back().body;
  EXPECT_NE(again.find(std::string(R"("id":)") + IdentityServer::kDeviceID), std::string::npos)
      << again;
  EXPECT_EQ(lastRequest()["digest"], platform::Value(IdentityServer::kDigest));

  // The record survives the service.
  VIZInstanceIDCheckinService reloaded(store_);
  EXPECT_TRUE(reloaded.hasValidCheckinInfo());
}

TEST_F(CheckinServiceTest, TwentyFourHoursLaterTheRecordIsNoLongerValid) {
  ASSERT_EQ(checkin(), std::nullopt);
  clock_.advanceSeconds(86'399);
  EXPECT_TRUE(service_->hasValidCheckinInfo());
  clock_.advanceSeconds(1);
  EXPECT_FALSE(service_->hasValidCheckinInfo());
  service_->tryToLoadPrefetchedCheckinPreferences();
  EXPECT_FALSE(service_->hasValidCheckinInfo());
}

TEST_F(CheckinServiceTest, ReplyTimesAreTakenOnlyUpToNow) {
  instance_id_testing::IIDLogCapture log;
  server_.setCheckinTimeMillis(nowMillis() + 60'000);
  ASSERT_EQ(checkin(), std::nullopt);
  EXPECT_EQ(service_->lastCheckinTimestampMillis(), nowMillis());
  EXPECT_TRUE(log.contains("Invalid last checkin timestamp in future."));

  server_.setCheckinAnswer(CheckinAnswer{200, R"({"android_id":5,"security_token":6,
      "setting":[{"name":"only"},{"value":1},{"name":"a","value":1},{"name":"a","value":2}]})"});
  ASSERT_EQ(checkin(), std::nullopt);
  EXPECT_EQ(service_->deviceAuthID(), "5");
  EXPECT_EQ(service_->lastCheckinTimestampMillis(), 0);
  EXPECT_FALSE(service_->hasValidCheckinInfo()) << "a reply without time is not valid";
  EXPECT_EQ(service_->checkinPreferences()->zServicesData(), (platform::Dictionary{{"a", 2}}));
}

TEST_F(CheckinServiceTest, FailuresLeaveTheRecordOrClearIt) {
  ASSERT_EQ(checkin(), std::nullopt);
  struct {
    CheckinAnswer answer;
    const char* domain;
    int64_t code;
    bool recordKept;
  } const cases[] = {
      {{503, "busy"}, kZTMSessionFetcherStatusDomain, 503, true},
      {{200, "not json"}, platform::kJSONErrorDomain, platform::kJSONReadError, true},
      {{200, R"({"security_token":6})"}, kVIZInstanceIDErrorDomain, 0, true},
      {{200, R"(["a"])"}, kVIZInstanceIDErrorDomain, 0, true},
      {{200, R"({"android_id":18446744073709551616,"security_token":6})"},
       kVIZInstanceIDErrorDomain,
       0,
       true},
      {{200, R"({"android_id":5})"}, kVIZInstanceIDErrorDomain, 6, false},
  };
  for (const auto& c : cases) {
    server_.setCheckinAnswer(c.answer);
    std::optional<platform::Error> error = checkin();
    ASSERT_TRUE(error) << c.answer.body;
    EXPECT_EQ(error->domain(), c.domain) << c.answer.body;
    EXPECT_EQ(error->code(), c.code) << c.answer.body;
    EXPECT_EQ(service_->deviceAuthID().empty(), !c.recordKept) << c.answer.body;
  }
}

}  // namespace
}  // namespace instance_id_testing
