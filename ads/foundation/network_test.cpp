#include "ads/foundation/network.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/reachability/fake_network_monitor.h"
#include "platform/reachability/reachability_flags.h"
#include "platform/testing/main_loop.h"

namespace {

using platform::kReachabilityFlagIsWWAN;
using platform::kReachabilityFlagReachable;

TEST(ZADNetworkTest, FlagsGiveTypes) {
  struct Case {
    platform::ReachabilityFlags flags;
    int64_t type;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {kReachabilityFlagReachable | kReachabilityFlagIsWWAN, 3, "ed"},
      {kReachabilityFlagIsWWAN, 3, "ed"},
      {kReachabilityFlagReachable, 2, "wi"},
      {0, 1, std::nullopt},
  };
  for (const Case& c : cases) {
    auto network = ZADNetwork::make();
    network->setNetworkTypeFromFlags(c.flags);
    EXPECT_EQ(network->networkType(), c.type);
    EXPECT_EQ(network->networkTypeString(), c.text);
  }
}

TEST(ZADNetworkTest, CountsChangesAndKeepsTheLastKnownType) {
  auto network = ZADNetwork::make();
  EXPECT_FALSE(network->lastKnownNetworkTypeString());
  network->setNetworkType(2);
  network->setNetworkType(2);  // the same type counts once
  network->setNetworkType(1);
  EXPECT_EQ(network->lastKnownNetworkTypeString(), "wi");
  network->setNetworkType(2);
  EXPECT_EQ(network->changeCount(), 3);
  EXPECT_EQ(network->lastKnownNetworkTypeString(), "wi");
}

TEST(ZADNetworkTest, FollowsTheNetworkWhileCheckingAndResetsWhenDisabled) {
  platform::ScopedFakeNetworkMonitor scoped(kReachabilityFlagReachable);
  auto network = ZADNetwork::make();
  network->enableNetworkChecking();
  network->enableNetworkChecking();  // already on
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return network->networkType() == 2; }));

  scoped->injectChange(0);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return network->networkType() == 1; }));
  const int64_t changes = network->changeCount();

  network->disableNetworkChecking();
  EXPECT_EQ(network->networkType(), 0);
  EXPECT_EQ(network->changeCount(), changes);
  EXPECT_EQ(network->lastKnownNetworkTypeString(), "wi");
  scoped->injectChange(kReachabilityFlagReachable);
  platform::testing::drainMainLoop();
  EXPECT_EQ(network->networkType(), 0);
}

TEST(ZADSessionTest, IdsAreUnsignedDecimalsWithoutLeadingZeros) {
  std::set<std::string> ids;
  for (int i = 0; i < 20; ++i) {
    const std::string id = ZADSession().uniqueID();
    ASSERT_FALSE(id.empty());
    EXPECT_LE(id.size(), 20u);
    EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos) << id;
    EXPECT_TRUE(id == "0" || id[0] != '0') << id;
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 20u);
}

}  // namespace
