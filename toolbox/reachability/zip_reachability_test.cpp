#include "toolbox/reachability/zip_reachability.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

#include "platform/foundation/log.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/reachability/fake_network_monitor.h"
#include "platform/testing/assertion_capture.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "toolbox/logger/logger.h"

namespace {

using platform::kReachabilityFlagIsDirect;
using platform::kReachabilityFlagIsLocalAddress;
using platform::kReachabilityFlagIsWWAN;
using platform::kReachabilityFlagReachable;
using platform::ReachabilityFlags;
using platform::testing::drainMainLoop;
using platform::testing::runMainLoopUntil;

// Lines of the shared logger as "function: message", every level.
class LogRecorder : public ZTMLogWriter, public ZTMLogFormatter {
 public:
  LogRecorder() {
    // The logger holds its roles shared; this object outlives the logger it installs.
    const std::shared_ptr<LogRecorder> self(this, [](LogRecorder*) {});
    ZSDK_ZTMLogger::setSharedLogger(ZSDK_ZTMLogger::loggerWithWriter(self, self, nullptr));
  }
  ~LogRecorder() override { ZSDK_ZTMLogger::setSharedLogger(nullptr); }

  std::optional<std::string> stringForFunc(const std::optional<std::string>& func,
                                           const char* format, va_list args,
                                           ZTMLoggerLevel) override {
    return func.value_or("") + ": " + platform::vformat(format, args);
  }
  void logMessage(const std::string& message, ZTMLoggerLevel) override {
    platform::MutexLock lock(mutex_);
    lines_.push_back(message);
  }
  std::vector<std::string> lines() const {
    platform::MutexLock lock(mutex_);
    return lines_;
  }

 private:
  mutable platform::Mutex mutex_;
  std::vector<std::string> lines_ VKR_GUARDED_BY(mutex_);
};

// The previous flags of each change notification, in order.
class NotificationRecorder {
 public:
  NotificationRecorder()
      : observation_(platform::NotificationCenter::defaultCenter().addObserver(
            kZIPReachabilityChangedNotification, nullptr, [this](const platform::Notification& n) {
              EXPECT_TRUE(platform::isMainThread());
              previous.push_back(static_cast<ReachabilityFlags>(
                  n.userInfo[kZIPReachabilityPreviousValueKey].intOr(-1)));
              wasReachable.push_back(ZIPReachability::wasPreviouslyReachable(n));
              const auto* sender = n.objectAs<ZIPReachability*>();
              senders.push_back(sender ? *sender : nullptr);
            })) {}
  std::vector<ReachabilityFlags> previous;
  std::vector<bool> wasReachable;
  std::vector<ZIPReachability*> senders;

 private:
  platform::NotificationCenter::Observation observation_;
};

// The shared logger's level filter reads the app's user defaults.
class ZIPReachabilityTest : public ::testing::Test {
 protected:
  platform::testing::TestApp app_;
};

// Starts the monitor and runs the main loop until its handler has run.
void startAndWait(ZIPReachability& monitor) {
  bool done = false;
  monitor.startWithCompletionHandler([&] { done = true; });
  ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
}

TEST_F(ZIPReachabilityTest, QuestionsAnswerNoUntilTheFirstFlagsAreKnown) {
  platform::ScopedFakeNetworkMonitor network(kReachabilityFlagReachable | kReachabilityFlagIsWWAN);
  ZIPReachability monitor;
  bool done = false;
  monitor.startWithCompletionHandler([&] { done = true; });
  EXPECT_TRUE(monitor.monitoring());
  EXPECT_FALSE(monitor.isReachable());
  EXPECT_FALSE(monitor.isCellularNetwork());
  ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
  EXPECT_TRUE(monitor.isReachable());
  EXPECT_TRUE(monitor.isCellularNetwork());
  EXPECT_FALSE(monitor.isConnectionRequired());
  EXPECT_FALSE(monitor.isDirect());
}

TEST_F(ZIPReachabilityTest, ChangesArePostedInOrderWithThePreviousFlags) {
  platform::ScopedFakeNetworkMonitor network(kReachabilityFlagReachable);
  LogRecorder log;
  NotificationRecorder notes;
  ZIPReachability monitor;
  startAndWait(monitor);

  network->injectChange(kReachabilityFlagReachable);  // the first change posts even unchanged
  network->injectChange(kReachabilityFlagReachable);  // then unchanged flags post nothing
  network->injectChange(0);
  network->injectChange(kReachabilityFlagReachable | kReachabilityFlagIsWWAN);
  EXPECT_EQ(notes.previous, (std::vector<ReachabilityFlags>{kReachabilityFlagReachable,
                                                            kReachabilityFlagReachable, 0}));
  EXPECT_EQ(notes.wasReachable, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(notes.senders, (std::vector<ZIPReachability*>(3, &monitor)));
  EXPECT_TRUE(monitor.isCellularNetwork());
  EXPECT_EQ(log.lines()[1],
            "-[ZIPReachability callbackWithFlags:]: Reachability changed: 00000002");
  EXPECT_EQ(log.lines().back(),
            "-[ZIPReachability callbackWithFlags:]: Reachability changed: 00040002");

  // Stopped, nothing is posted; started again, the first change posts again.
  monitor.stop();
  EXPECT_FALSE(monitor.monitoring());
  network->injectChange(0);
  EXPECT_EQ(notes.previous.size(), 3u);
  startAndWait(monitor);
  EXPECT_FALSE(monitor.isReachable());
  network->injectChange(0);
  EXPECT_EQ(notes.previous.size(), 4u);
  EXPECT_EQ(notes.previous.back(), 0u);
}

// A monitor whose reads off the main thread wait until the test lets them through.
class GatedMonitor : public platform::NetworkMonitor {
 public:
  std::optional<ReachabilityFlags> defaultRouteFlags() const override {
    platform::MutexLock lock(mutex_);
    while (!platform::isMainThread() && !open_) lock.wait(opened_);
    return flags_;
  }
  void set(ReachabilityFlags flags) {
    platform::MutexLock lock(mutex_);
    flags_ = flags;
  }
  void open() {
    platform::MutexLock lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }
  using NetworkMonitor::announceChange;

 private:
  mutable platform::Mutex mutex_;
  mutable std::condition_variable opened_;
  ReachabilityFlags flags_ VKR_GUARDED_BY(mutex_) = 0;
  bool open_ VKR_GUARDED_BY(mutex_) = false;
};

TEST_F(ZIPReachabilityTest, TheFirstReadNeverOverwritesAChange) {
  auto gated = std::make_shared<GatedMonitor>();
  auto previous = platform::setNetworkMonitor(gated);
  {
    ZIPReachability monitor;
    bool done = false;
    monitor.startWithCompletionHandler([&] { done = true; });
    gated->set(kReachabilityFlagReachable);
    gated->announceChange();  // arrives while the first read still waits
    EXPECT_TRUE(monitor.isReachable());
    gated->set(0);  // the first read now answers older news
    gated->open();
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    EXPECT_TRUE(monitor.isReachable());
  }
  platform::setNetworkMonitor(previous);
}

TEST_F(ZIPReachabilityTest, PlatformFailuresAreLoggedAndTheMonitorGoesOn) {
  platform::ScopedFakeNetworkMonitor network;
  network->setAvailable(false);
  LogRecorder log;
  ZIPReachability monitor;
  monitor.start();
  EXPECT_FALSE(monitor.monitoring());
  startAndWait(monitor);  // the handler runs all the same
  EXPECT_FALSE(monitor.monitoring());
  EXPECT_FALSE(monitor.isReachable());
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{
                "-[ZIPReachability start]: Unable to get reachability flags",
                "-[ZIPReachability startWithCompletionHandler:]: Unable to schedule reachability "
                "in runloop",
                "-[ZIPReachability startWithCompletionHandler:]: Unable to get initial "
                "reachability flags"}));

  // Once the platform works again, start reads the flags at once.
  network->setAvailable(true);
  monitor.start();
  EXPECT_TRUE(monitor.monitoring());
  EXPECT_TRUE(monitor.isReachable());
}

TEST_F(ZIPReachabilityTest, HostMonitorsAndDescription) {
  platform::ScopedFakeNetworkMonitor network(0);
  ZIPReachability local(std::optional<std::string>("localhost"));
  EXPECT_EQ(local.hostName(), "localhost");
  startAndWait(local);
  EXPECT_TRUE(local.isReachable());
  EXPECT_TRUE(local.isDirect());
  const std::string description = local.description();
  EXPECT_TRUE(description.starts_with("<ZIPReachability: 0x")) << description;
  EXPECT_TRUE(description.ends_with("> localhost flags:[Reachable|IsLocalAddress|IsDirect]"))
      << description;

  ZIPReachability anyAddress(std::optional<std::string>{});
  EXPECT_FALSE(anyAddress.hostName());
  EXPECT_TRUE(anyAddress.description().ends_with(">  flags:[]"));

  platform::testing::AssertionCapture assertions;
  ZIPReachability nameless(std::optional<std::string>(""));
  EXPECT_EQ(assertions.messages(), std::vector<std::string>{"Nil reachability ref."});
  platform::setConsoleLogging(false);
  startAndWait(nameless);  // carries on without one
  platform::setConsoleLogging(true);
  EXPECT_FALSE(nameless.isReachable());
}

TEST_F(ZIPReachabilityTest, UseOffTheMainThreadIsReported) {
  platform::ScopedFakeNetworkMonitor network;
  ZIPReachability monitor;
  platform::testing::AssertionCapture assertions;
  std::thread([&] {
    (void)monitor.isReachable();
    monitor.stop();
  }).join();
  EXPECT_EQ(assertions.messages(),
            std::vector<std::string>(2, "ZIPReachability should be used from the main thread"));
}

TEST_F(ZIPReachabilityTest, AnswersForAMonitorThatIsGoneAreDropped) {
  platform::ScopedFakeNetworkMonitor network;
  NotificationRecorder notes;
  bool called = false;
  {
    ZIPReachability monitor;
    monitor.startWithCompletionHandler([&] { called = true; });
  }
  network->injectChange(0);
  drainMainLoop();
  EXPECT_FALSE(called);
  EXPECT_TRUE(notes.previous.empty());
}

}  // namespace
