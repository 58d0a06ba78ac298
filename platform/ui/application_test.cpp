#include "platform/ui/application.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/dispatch/notification_center.h"
#include "platform/dispatch/timer.h"
#include "platform/testing/main_loop.h"
#include "platform/ui/memory_warnings.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace platform::ui {
namespace {

// Every application notification's name, in the order posted.
class NotificationLog {
 public:
  NotificationLog()
      : observation_(NotificationCenter::defaultCenter().addObserver(
            "", &Application::shared(), [this](const Notification& n) {
              names.push_back(n.name);
              userInfos.push_back(n.userInfo);
            })) {}
  std::vector<std::string> names;
  std::vector<Value> userInfos;

 private:
  NotificationCenter::Observation observation_;
};

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { Application::resetShared(); }
  void TearDown() override { Application::resetShared(); }
  Application& app() { return Application::shared(); }
};

TEST_F(ApplicationTest, LifeCycleMovesPostEveryStepInOrder) {
  using S = ApplicationState;
  struct Case {
    const char* name;
    std::function<void(Application&)> move;
    S to;
    std::vector<std::string> posted;
  };
  const std::string resign = kApplicationWillResignActiveNotification;
  const std::string background = kApplicationDidEnterBackgroundNotification;
  const std::string foreground = kApplicationWillEnterForegroundNotification;
  const std::string active = kApplicationDidBecomeActiveNotification;
  // Each case starts where the previous one ended.
  const std::vector<Case> cases = {
      {"launch", [](Application& a) { a.becomeActive(); }, S::Active, {active}},
      {"again", [](Application& a) { a.becomeActive(); }, S::Active, {}},
      {"focus lost", [](Application& a) { a.resignActive(); }, S::Inactive, {resign}},
      {"focus back", [](Application& a) { a.becomeActive(); }, S::Active, {active}},
      {"minimised",
       [](Application& a) { a.enterBackground(); },
       S::Background,
       {resign, background}},
      {"resign in background", [](Application& a) { a.resignActive(); }, S::Background, {}},
      {"restored", [](Application& a) { a.becomeActive(); }, S::Active, {foreground, active}},
      {"minimised again",
       [](Application& a) { a.enterBackground(); },
       S::Background,
       {resign, background}},
      {"foreground only", [](Application& a) { a.enterForeground(); }, S::Inactive, {foreground}},
      {"closed",
       [](Application& a) { a.terminate(); },
       S::Background,
       {background, kApplicationWillTerminateNotification}},
      {"no revival", [](Application& a) { a.becomeActive(); }, S::Background, {}},
  };
  for (const Case& c : cases) {
    NotificationLog log;
    c.move(app());
    EXPECT_EQ(app().applicationState(), c.to) << c.name;
    EXPECT_EQ(log.names, c.posted) << c.name;
  }
}

TEST_F(ApplicationTest, TerminateRunsTheHandlerOnce) {
  int handled = 0;
  app().setTerminateHandler([&] { ++handled; });
  app().terminate();
  app().terminate();
  EXPECT_EQ(handled, 1);
  EXPECT_TRUE(app().isTerminating());
}

TEST_F(ApplicationTest, TerminationWaitsForBackgroundTasks) {
  int handled = 0;
  app().setTerminateHandler([&] { ++handled; });
  const BackgroundTaskIdentifier first = app().beginBackgroundTask();
  const BackgroundTaskIdentifier second = app().beginBackgroundTask();
  EXPECT_NE(first, second);
  app().terminate();
  EXPECT_EQ(handled, 0);
  app().endBackgroundTask(first);
  app().endBackgroundTask(first);  // ended already: nothing
  EXPECT_EQ(handled, 0);
  // Ended from a worker thread: takes effect on the main thread.
  std::thread([&] { app().endBackgroundTask(second); }).join();
  EXPECT_EQ(handled, 0);
  testing::drainMainLoop();
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(app().backgroundTaskCount(), 0u);
}

TEST_F(ApplicationTest, TasksStillRunningExpireAtTheTimeLimit) {
  ManualClock clock;
  int handled = 0;
  std::vector<std::string> expired;
  app().setTerminateHandler([&] { ++handled; });
  BackgroundTaskIdentifier task = kInvalidBackgroundTask;
  task = app().beginBackgroundTask([&] {
    expired.push_back("backup");
    app().endBackgroundTask(task);
  });
  app().beginBackgroundTask([&] { expired.push_back("careless"); });  // never ends its task
  app().terminate();
  clock.advance(Application::kBackgroundTaskTimeLimit - seconds(1));
  testing::drainMainLoop();
  EXPECT_EQ(handled, 0);
  clock.advance(seconds(1));
  testing::drainMainLoop();
  EXPECT_EQ(expired, (std::vector<std::string>{"backup", "careless"}));
  EXPECT_EQ(handled, 1);
}

class RecordingDelegate : public ApplicationDelegate {
 public:
  std::vector<std::string> calls;
  bool didFinishLaunching(Application&, const Value& options) override {
    calls.push_back("launch " + options["k"].stringOr("-"));
    return false;
  }
  bool openURL(Application&, const std::string& url, const std::string& source,
               const Value&) override {
    calls.push_back("open " + url + " from " + source);
    return true;
  }
  void didReceiveMemoryWarning(Application&) override { calls.push_back("memory"); }
};

TEST_F(ApplicationTest, DelegateHearsLaunchURLsAndMemoryWarningsBeforeTheNotification) {
  auto delegate = std::make_shared<RecordingDelegate>();
  EXPECT_FALSE(app().openURLInApp("app://x"));  // no delegate
  app().setDelegate(delegate);

  struct Controller : ViewController {
    int warnings = 0;
    void didReceiveMemoryWarning() override { ++warnings; }
  };
  auto window = std::make_shared<Window>();
  auto root = std::make_shared<Controller>();
  auto modal = std::make_shared<Controller>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  ASSERT_TRUE(root->presentViewController(modal, false, nullptr));

  NotificationLog log;
  EXPECT_FALSE(app().finishLaunching(Value::dictionary({{"k", "v"}})));
  EXPECT_TRUE(app().openURLInApp("app://x", "shell"));
  app().receiveMemoryWarning();
  EXPECT_EQ(delegate->calls,
            (std::vector<std::string>{"launch v", "open app://x from shell", "memory"}));
  EXPECT_EQ(log.names, (std::vector<std::string>{kApplicationDidFinishLaunchingNotification,
                                                 kApplicationDidReceiveMemoryWarningNotification}));
  EXPECT_EQ(log.userInfos[0]["k"].stringOr(""), "v");
  EXPECT_EQ(root->warnings, 1);
  EXPECT_EQ(modal->warnings, 1);
}

// The system's low-memory warnings reach the application (GIO's monitor, signalled as the system
// would), from any thread, and stop once no one listens.
TEST_F(ApplicationTest, SystemLowMemoryWarningsBecomeMemoryWarnings) {
  int warnings = 0;
  NotificationCenter::Observation observation = NotificationCenter::defaultCenter().addObserver(
      kApplicationDidReceiveMemoryWarningNotification, nullptr,
      [&](const Notification&) { ++warnings; });
  GMemoryMonitor* monitor = nullptr;
  {
    MemoryWarnings listening;
    monitor = listening.monitor();
    ASSERT_NE(monitor, nullptr);
    g_object_ref(monitor);
    std::thread([monitor] {
      g_signal_emit_by_name(monitor, "low-memory-warning", G_MEMORY_MONITOR_WARNING_LEVEL_LOW);
    }).join();
    ASSERT_TRUE(testing::runMainLoopUntil([&] { return warnings == 1; }));
    g_signal_emit_by_name(monitor, "low-memory-warning", G_MEMORY_MONITOR_WARNING_LEVEL_CRITICAL);
    ASSERT_TRUE(testing::runMainLoopUntil([&] { return warnings == 2; }));
  }
  g_signal_emit_by_name(monitor, "low-memory-warning", G_MEMORY_MONITOR_WARNING_LEVEL_LOW);
  testing::drainMainLoop();
  EXPECT_EQ(warnings, 2);
  g_object_unref(monitor);
}

class RecordingOpener : public URLOpener {
 public:
  std::vector<std::string> opened;
  bool canOpenURL(const std::string& url) override { return url.rfind("https:", 0) == 0; }
  void openURL(const std::string& url, std::function<void(bool)> completion) override {
    opened.push_back(url);
    if (completion) completion(canOpenURL(url));
  }
};

TEST_F(ApplicationTest, URLsOutsideTheAppGoThroughTheOpener) {
  auto opener = std::make_shared<RecordingOpener>();
  app().setURLOpener(opener);
  EXPECT_TRUE(app().canOpenURL("https://example.com/"));
  EXPECT_FALSE(app().canOpenURL("tel:123"));
  std::vector<bool> answers;
  app().openURL("https://example.com/", [&](bool ok) { answers.push_back(ok); });
  app().openURL("tel:123", [&](bool ok) { answers.push_back(ok); });
  EXPECT_EQ(opener->opened, (std::vector<std::string>{"https://example.com/", "tel:123"}));
  EXPECT_EQ(answers, (std::vector<bool>{true, false}));

  // Without an opener nothing opens, and the caller still hears so.
  app().setURLOpener(nullptr);
  EXPECT_FALSE(app().canOpenURL("https://example.com/"));
  app().openURL("https://example.com/", [&](bool ok) { answers.push_back(ok); });
  platform::testing::drainMainLoop();
  EXPECT_EQ(answers.back(), false);
}

TEST_F(ApplicationTest, SystemOpenerRefusesTextThatIsNoURL) {
  auto opener = makeSystemURLOpener();
  EXPECT_FALSE(opener->canOpenURL(""));
  EXPECT_FALSE(opener->canOpenURL("no scheme here"));
  EXPECT_FALSE(opener->canOpenURL("vokaru-no-such-scheme-handler:x"));
}

TEST_F(ApplicationTest, WindowsAndTheirPresenter) {
  std::vector<Window*> presented;
  auto first = std::make_shared<Window>();
  first->makeKeyAndVisible();
  app().setWindowPresenter([&](const std::shared_ptr<Window>& w) { presented.push_back(w.get()); });
  auto second = std::make_shared<Window>();
  second->makeKeyAndVisible();
  first->makeKeyAndVisible();  // already known: key again, not presented again
  EXPECT_EQ(presented, (std::vector<Window*>{first.get(), second.get()}));
  EXPECT_EQ(app().keyWindow(), first);
  app().removeWindow(*first);
  EXPECT_EQ(app().keyWindow(), second);
  EXPECT_EQ(app().windows().size(), 1u);
}

// A window shown while the delegate launches makes the app active only once launching is over,
// so observers of the launch hear it first.
TEST_F(ApplicationTest, TheAppBecomesActiveAfterLaunching) {
  struct ShowingDelegate : ApplicationDelegate {
    bool didFinishLaunching(Application& application, const Value&) override {
      application.becomeActive();
      activeWhileLaunching = application.applicationState() == ApplicationState::Active;
      return true;
    }
    bool activeWhileLaunching = true;
  };
  auto delegate = std::make_shared<ShowingDelegate>();
  app().setDelegate(delegate);
  NotificationLog log;
  EXPECT_TRUE(app().finishLaunching());
  EXPECT_FALSE(delegate->activeWhileLaunching);
  EXPECT_EQ(app().applicationState(), ApplicationState::Active);
  EXPECT_EQ(log.names, (std::vector<std::string>{kApplicationDidFinishLaunchingNotification,
                                                 kApplicationDidBecomeActiveNotification}));
}

}  // namespace
}  // namespace platform::ui
