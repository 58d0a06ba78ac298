#include "platform/reachability/network_reachability.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "platform/reachability/fake_network_monitor.h"
#include "platform/reachability/gio_network_monitor.h"
#include "platform/testing/main_loop.h"

namespace platform {
namespace {

constexpr ReachabilityFlags kLocal =
    kReachabilityFlagReachable | kReachabilityFlagIsLocalAddress | kReachabilityFlagIsDirect;

TEST(NetworkReachabilityTest, DefaultRouteDeliversChangesWhileScheduled) {
  ScopedFakeNetworkMonitor monitor(0);
  auto reachability = NetworkReachability::forDefaultRoute();
  EXPECT_FALSE(reachability->hostName());
  EXPECT_EQ(reachability->flags(), 0u);

  std::vector<ReachabilityFlags> delivered;
  reachability->setCallback([&](ReachabilityFlags flags) {
    EXPECT_TRUE(isMainThread());
    delivered.push_back(flags);
  });
  monitor->injectChange(kReachabilityFlagReachable);  // not scheduled yet
  ASSERT_TRUE(reachability->scheduleOnMainLoop());
  monitor->injectChange(kReachabilityFlagReachable | kReachabilityFlagConnectionRequired);
  monitor->injectChange(0);
  ASSERT_TRUE(reachability->unscheduleFromMainLoop());
  monitor->injectChange(kReachabilityFlagReachable);
  EXPECT_EQ(delivered, (std::vector<ReachabilityFlags>{
                           kReachabilityFlagReachable | kReachabilityFlagConnectionRequired, 0}));
  EXPECT_EQ(reachability->flags(), kReachabilityFlagReachable);
}

TEST(NetworkReachabilityTest, HostsByName) {
  ScopedFakeNetworkMonitor monitor(kReachabilityFlagReachable);
  EXPECT_FALSE(NetworkReachability::forHostName(""));
  struct Case {
    const char* host;
    ReachabilityFlags flags;
  };
  // Names of this machine are reachable even without a route; an unresolvable name never is.
  monitor->setFlags(0);
  const Case cases[] = {{"127.0.0.1", kLocal},
                        {"localhost", kLocal},
                        {"::1", kLocal},
                        {"bad..name", 0},
                        {"10.1.2.3", 0}};
  for (const Case& c : cases) {
    auto reachability = NetworkReachability::forHostName(c.host);
    ASSERT_TRUE(reachability);
    EXPECT_EQ(reachability->hostName(), c.host);
    EXPECT_EQ(reachability->flags(), c.flags) << c.host;
  }
  monitor->setFlags(kReachabilityFlagReachable);
  EXPECT_EQ(NetworkReachability::forHostName("10.1.2.3")->flags(), kReachabilityFlagReachable);

  // Changes are read off the main thread and delivered on it, the latest only.
  auto remote = NetworkReachability::forHostName("10.1.2.3");
  std::vector<ReachabilityFlags> delivered;
  remote->setCallback([&](ReachabilityFlags flags) { delivered.push_back(flags); });
  ASSERT_TRUE(remote->scheduleOnMainLoop());
  monitor->injectChange(0);
  ASSERT_TRUE(testing::runMainLoopUntil([&] { return !delivered.empty(); }));
  monitor->injectChange(kReachabilityFlagReachable);
  remote->unscheduleFromMainLoop();  // before the read comes back: nothing more is delivered
  testing::drainMainLoop();
  EXPECT_EQ(delivered, std::vector<ReachabilityFlags>{0});
}

TEST(NetworkReachabilityTest, UnavailableMonitorReadsAndWatchesNothing) {
  ScopedFakeNetworkMonitor monitor;
  monitor->setAvailable(false);
  auto route = NetworkReachability::forDefaultRoute();
  EXPECT_FALSE(route->flags());
  EXPECT_FALSE(NetworkReachability::forHostName("localhost")->flags());
  EXPECT_FALSE(route->scheduleOnMainLoop());
}

TEST(NetworkReachabilityTest, ObjectGoneBeforeItsHostReadReturns) {
  ScopedFakeNetworkMonitor monitor;
  int calls = 0;
  {
    auto remote = NetworkReachability::forHostName("localhost");
    remote->setCallback([&](ReachabilityFlags) { ++calls; });
    ASSERT_TRUE(remote->scheduleOnMainLoop());
    monitor->injectChange(0);
  }
  testing::drainMainLoop();
  EXPECT_EQ(calls, 0);
}

TEST(NetworkReachabilityTest, SystemMonitorReportsGiosView) {
  std::optional<ReachabilityFlags> flags = gioNetworkMonitor()->defaultRouteFlags();
  ASSERT_TRUE(flags);
  GNetworkMonitor* gio = g_network_monitor_get_default();
  EXPECT_EQ((*flags & kReachabilityFlagReachable) != 0,
            static_cast<bool>(g_network_monitor_get_network_available(gio)));
  EXPECT_EQ(*flags & ~(kReachabilityFlagReachable | kReachabilityFlagConnectionRequired), 0u);
  EXPECT_TRUE(gioNetworkMonitor()->canWatchChanges());
  // Without a fake installed, new objects use the system's monitor.
  EXPECT_EQ(networkMonitor(), gioNetworkMonitor());
  EXPECT_EQ(NetworkReachability::forHostName("127.0.0.1")->flags(), kLocal);
}

}  // namespace
}  // namespace platform
