#include <gtest/gtest.h>

#include "ads/foundation/mediation_services.h"
#include "ads/foundation/sdk_core_services.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/test_app.h"

namespace {

using platform::Value;

TEST(ZADSDKCoreServicesTest, VersionAndPositiveServerConstants) {
  EXPECT_EQ(ZADRequest::sdkVersion(), "voda-sdk-i-v7.7.0");
  EXPECT_EQ(&ZADRequest::sdkVersion(), &ZADRequest::sdkVersion());

  platform::testing::TestApp app;
  const std::pair<Value, double> cases[] = {
      {Value(), 60},   {Value(30), 30},    {Value("2.5"), 2.5}, {Value("0"), 60},
      {Value(-1), 60}, {Value("abc"), 60}, {Value(true), 1},    {Value::array({1}), 60},
  };
  for (const auto& [stored, expected] : cases) {
    (void)platform::UserDefaults::standard()->setObject(stored, "/zorova/ads/ping_interval");
    EXPECT_EQ(ZADPositiveServerConstant("ping_interval", 60), expected)
        << platform::describe(stored);
  }
  EXPECT_EQ(ZADServerConstantKey("volume_view"), "/zorova/ads/volume_view");
}

class TestAdapter final : public ZADMAdNetworkAdapter {};

TEST(ZADMediationServicesTest, OnlyRegisteredAdaptersAreAvailable) {
  ZADMAdNetworkAdapterRegistry::instance().add("ZADTestAdapter",
                                               [] { return std::make_shared<TestAdapter>(); });
  EXPECT_EQ(ZADMAdNetworkAdapter::availableAdapterNamesInSet({"ZADTestAdapter", "ZADMissing"}),
            std::set<std::string>{"ZADTestAdapter"});
}

}  // namespace
