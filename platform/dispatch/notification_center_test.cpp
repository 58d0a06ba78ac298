#include "platform/dispatch/notification_center.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/testing/main_loop.h"

namespace platform {
namespace {

TEST(NotificationCenterTest, DeliversByNameAndSender) {
  NotificationCenter center;
  int a = 0, b = 0;
  std::vector<std::string> all;
  int senderOne = 1, senderTwo = 2;
  auto onA = center.addObserver("A", nullptr, [&](const Notification&) { ++a; });
  auto fromOne = center.addObserver("B", &senderOne, [&](const Notification&) { ++b; });
  auto every =
      center.addObserver("", nullptr, [&](const Notification& n) { all.push_back(n.name); });

  center.post("A");
  center.post("B", &senderTwo);
  center.post("B", &senderOne, Value::dictionary({{"k", 1}}));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(all, (std::vector<std::string>{"A", "B", "B"}));
}

TEST(NotificationCenterTest, TellsWhetherAPostWouldReachAnObserver) {
  NotificationCenter center;
  int one = 1, two = 2;
  auto onA = center.addObserver("A", nullptr, [](const Notification&) {});
  auto fromOne = center.addObserver("B", &one, [](const Notification&) {});
  struct Case {
    const char* name;
    const void* sender;
    bool observed;
  };
  for (const Case& c :
       {Case{"A", nullptr, true}, Case{"A", &two, true}, Case{"B", &one, true},
        Case{"B", &two, false}, Case{"B", nullptr, false}, Case{"C", &one, false}}) {
    EXPECT_EQ(center.isObserved(c.name, c.sender), c.observed) << c.name;
  }
  auto every = center.addObserver("", nullptr, [](const Notification&) {});
  EXPECT_TRUE(center.isObserved("C", &two));
  every.reset();
  onA.reset();
  EXPECT_FALSE(center.isObserved("C", &two));
  EXPECT_FALSE(center.isObserved("A", nullptr));
}

TEST(NotificationCenterTest, CarriesObjectAndUserInfo) {
  NotificationCenter center;
  std::string url;
  int code = 0;
  auto observation = center.addObserver("Open", nullptr, [&](const Notification& n) {
    if (const auto* text = n.objectAs<std::string>()) url = *text;
    code = static_cast<int>(n.userInfo["code"].intOr(0));
  });
  center.post("Open", nullptr, Value::dictionary({{"code", 7}}), std::string("app://x"));
  EXPECT_EQ(url, "app://x");
  EXPECT_EQ(code, 7);
}

TEST(NotificationCenterTest, EndedObservationsAreNotCalled) {
  NotificationCenter center;
  int calls = 0;
  NotificationCenter::Observation second;
  auto first = center.addObserver("N", nullptr, [&](const Notification&) {
    ++calls;
    second.reset();  // removed during the post: not called by it
  });
  second = center.addObserver("N", nullptr, [&](const Notification&) { calls += 100; });
  center.post("N");
  EXPECT_EQ(calls, 1);
  {
    auto scoped = center.addObserver("N", nullptr, [&](const Notification&) { calls += 10; });
  }
  first.reset();
  center.post("N");
  EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterTest, QueueObserversRunOnTheirQueue) {
  NotificationCenter center;
  bool onMain = false;
  bool called = false;
  auto observation = center.addObserver(
      "N", nullptr,
      [&](const Notification&) {
        onMain = isMainThread();
        called = true;
      },
      mainQueue());
  std::thread([&] { center.post("N"); }).join();
  ASSERT_TRUE(testing::runMainLoopUntil([&] { return called; }));
  EXPECT_TRUE(onMain);
}

TEST(NotificationCenterTest, ObservationMayOutliveItsCenter) {
  NotificationCenter::Observation observation;
  {
    NotificationCenter center;
    observation = center.addObserver("N", nullptr, [](const Notification&) {});
  }
  observation.reset();
  EXPECT_FALSE(observation.active());
}

}  // namespace
}  // namespace platform
