#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"
#include "platform/ui/url_opener.h"

namespace platform::ui {

class Window;

enum class ApplicationState { Active = 0, Inactive = 1, Background = 2 };

using BackgroundTaskIdentifier = uint64_t;
inline constexpr BackgroundTaskIdentifier kInvalidBackgroundTask = 0;

// Posted on the default NotificationCenter, with the application as sender.
inline constexpr const char* kApplicationDidFinishLaunchingNotification =
    "UIApplicationDidFinishLaunchingNotification";
inline constexpr const char* kApplicationWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationWillTerminateNotification =
    "UIApplicationWillTerminateNotification";
inline constexpr const char* kApplicationDidReceiveMemoryWarningNotification =
    "UIApplicationDidReceiveMemoryWarningNotification";

class Application;

// The app's answers to the application's questions and events. Main thread.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual bool didFinishLaunching(Application& application, const Value& options) {
    (void)application, (void)options;
    return true;
  }
  // A URL given to the app to open (from the command line or another program).
  virtual bool openURL(Application& application, const std::string& url,
                       const std::string& sourceApplication, const Value& annotation) {
    (void)application, (void)url, (void)sourceApplication, (void)annotation;
    return false;
  }
  virtual unsigned supportedInterfaceOrientations(Application& application,
                                                  const std::shared_ptr<Window>& window);
  virtual void didReceiveMemoryWarning(Application& application) { (void)application; }
};

// The running app: its state and life cycle, its windows, URLs it opens outside itself and a
// few flags the desktop keeps without effect (badge number, idle timer, status bar). The
// renderer reports what the user does to the app's windows through the life-cycle calls; each
// posts the notifications between the current and the new state, in order. Main thread only.
class Application {
 public:
  static Application& shared();
  ~Application();
  // Replaces the shared application with a fresh one (tests).
  static void resetShared();

  ApplicationState applicationState() const { return state_; }

  std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_; }
  void setDelegate(std::shared_ptr<ApplicationDelegate> delegate) {
    delegate_ = std::move(delegate);
  }

  // Asks the delegate, then posts did-finish-launching with the options as user info (null when
  // there are none). Answers the delegate's answer.
  bool finishLaunching(const Value& options = Value());
  void becomeActive();
  void resignActive();
  void enterBackground();
  void enterForeground();
  // Goes to the background first (so the app saves its state), posts will-terminate, then runs
  // the terminate handler (the shell ends its main loop there) once no background task runs any
  // more, or when they expire. Only the first call counts.
  void terminate();
  void setTerminateHandler(std::function<void()> handler) {
    terminateHandler_ = std::move(handler);
  }
  bool isTerminating() const { return terminating_; }
  // Tells the delegate, posts the notification, then tells every controller on screen.
  void receiveMemoryWarning();

  // Work that must not be cut short when the app ends (a save, a backup): the app is never
  // suspended on the desktop, but terminate() waits for running tasks, at most
  // kBackgroundTaskTimeLimit; then every task still running expires: its expiration handler runs
  // (and should end it). Ending an unknown or ended task does nothing; begin and end may be
  // called from any thread (work that starts off the main thread holds one too).
  static constexpr Duration kBackgroundTaskTimeLimit = std::chrono::seconds(10);
  BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler = nullptr);
  void endBackgroundTask(BackgroundTaskIdentifier task);
  size_t backgroundTaskCount() const;
  // The background time is up: every running task's expiration handler runs, then the tasks are
  // gone. terminate() does this after its time limit; tests call it to play an early expiry.
  void expireBackgroundTasks();
  // A URL given to the app: handed to the delegate; false without one.
  bool openURLInApp(const std::string& url, const std::string& sourceApplication = "",
                    const Value& annotation = Value());

  // URLs outside the app, through the system's handlers (replaceable for tests).
  bool canOpenURL(const std::string& url);
  void openURL(const std::string& url, std::function<void(bool opened)> completion = nullptr);
  void setURLOpener(std::shared_ptr<URLOpener> opener) { urlOpener_ = std::move(opener); }

  // Windows made key and visible, oldest first; the key window is the last made key.
  const std::vector<std::shared_ptr<Window>>& windows() const { return windows_; }
  std::shared_ptr<Window> keyWindow() const { return keyWindow_.lock(); }
  void makeKeyWindow(const std::shared_ptr<Window>& window);
  void removeWindow(const Window& window);
  // The renderer's hook: told of each window when it first becomes visible.
  void setWindowPresenter(std::function<void(const std::shared_ptr<Window>&)> presenter);
  unsigned supportedInterfaceOrientations(const std::shared_ptr<Window>& window);

  // Kept without effect on the desktop.
  int64_t applicationIconBadgeNumber() const { return badgeNumber_; }
  void setApplicationIconBadgeNumber(int64_t number) { badgeNumber_ = number; }
  bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
  void setIdleTimerDisabled(bool disabled) { idleTimerDisabled_ = disabled; }
  int64_t statusBarStyle() const { return statusBarStyle_; }
  void setStatusBarStyle(int64_t style) { statusBarStyle_ = style; }
  bool isStatusBarHidden() const { return statusBarHidden_; }
  void setStatusBarHidden(bool hidden) { statusBarHidden_ = hidden; }
  bool isNetworkActivityIndicatorVisible() const { return networkActivityIndicatorVisible_; }
  void setNetworkActivityIndicatorVisible(bool visible) {
    networkActivityIndicatorVisible_ = visible;
  }

 private:
  Application();
  void moveTo(ApplicationState target);
  void post(const char* name, const Value& userInfo = Value());
  void finishTerminating();

  ApplicationState state_ = ApplicationState::Inactive;
  std::shared_ptr<ApplicationDelegate> delegate_;
  std::function<void()> terminateHandler_;
  bool terminating_ = false;
  bool terminateHandlerRan_ = false;
  mutable Mutex backgroundTasksMutex_;
  std::vector<std::pair<BackgroundTaskIdentifier, std::function<void()>>> backgroundTasks_
      VKR_GUARDED_BY(backgroundTasksMutex_);
  BackgroundTaskIdentifier lastBackgroundTask_ VKR_GUARDED_BY(backgroundTasksMutex_) =
      kInvalidBackgroundTask;
  Timer expiryTimer_;
  std::shared_ptr<URLOpener> urlOpener_;
  std::vector<std::shared_ptr<Window>> windows_;
  std::weak_ptr<Window> keyWindow_;
  std::function<void(const std::shared_ptr<Window>&)> windowPresenter_;
  int64_t badgeNumber_ = 0;
  bool idleTimerDisabled_ = false;
  int64_t statusBarStyle_ = 0;
  bool statusBarHidden_ = false;
  bool networkActivityIndicatorVisible_ = false;
};

}  // namespace platform::ui
