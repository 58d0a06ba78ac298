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
#include "platform/ui/user_notifications.h"

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

// The base of objects that add operations to an application delegate.
class ApplicationDelegateExtension {
 public:
  virtual ~ApplicationDelegateExtension() = default;
};

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

  // Operations added to the delegate from outside its class (by a delegate hook, see
  // Application::addDelegateHook): objects that adopt optional delegate interfaces for it. They
  // live as long as the delegate.
  void addExtension(std::shared_ptr<ApplicationDelegateExtension> extension) {
    extensions_.push_back(std::move(extension));
  }
  // The delegate's implementation of an optional interface: the delegate itself when its class
  // adopts it, else the first extension that does; null when none does.
  template <typename Interface>
  Interface* adopted() {
    if (auto* own = dynamic_cast<Interface*>(this)) return own;
    for (const auto& extension : extensions_) {
      if (auto* added = dynamic_cast<Interface*>(extension.get())) return added;
    }
    return nullptr;
  }

 private:
  std::vector<std::shared_ptr<ApplicationDelegateExtension>> extensions_;
};

class Application {
 public:
  static Application& shared();
  ~Application();
  // Replaces the shared application with a fresh one (tests).
  static void resetShared();

  ApplicationState applicationState() const { return state_; }

  std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_; }
  // A delegate new to the application first goes through the delegate hooks.
  void setDelegate(std::shared_ptr<ApplicationDelegate> delegate);
  // Work that components add to every application delegate, in place of changing its class: a
  // hook runs, in the order added, for each delegate when it becomes the application's delegate
  // (before launching finishes). Components add theirs from load-time hooks.
  using DelegateHook = std::function<void(const std::shared_ptr<ApplicationDelegate>& delegate)>;
  static void addDelegateHook(DelegateHook hook);

  // Asks the delegate, then posts did-finish-launching with the options as user info (null when
  // there are none). Answers the delegate's answer. The app becomes active only after that post:
  // a window shown while the delegate launches (which the renderer reports at once) waits for it.
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

  // Remote notifications (remote_notifications.h). The desktop grants the settings as asked.
  void registerUserNotificationSettings(UserNotificationSettings settings) {
    notificationSettings_ = std::move(settings);
  }
  // The settings granted; no types before the app registered any.
  const UserNotificationSettings& currentUserNotificationSettings() const {
    return notificationSettings_;
  }
  // Asks for the installation's device token: in a later turn the delegate's registration
  // operations get the token, or the error that prevented it.
  void registerForRemoteNotifications();
  void unregisterForRemoteNotifications() { registeredForRemoteNotifications_ = false; }
  bool isRegisteredForRemoteNotifications() const { return registeredForRemoteNotifications_; }
  // A notification for the app (from the messaging service, or a test): handed to the delegate's
  // fetch form of the operation with the handler, which then must be called once, else to its
  // plain form. False when the delegate takes neither; the handler is then called with NoData in
  // a later turn.
  bool receiveRemoteNotification(const Dictionary& userInfo,
                                 std::function<void(BackgroundFetchResult)> completionHandler);
  // The user chose an action of a notification; as above, the handler must be called once.
  bool receiveRemoteNotificationAction(const std::string& identifier, const Dictionary& userInfo,
                                       std::function<void()> completionHandler);
  // Seconds the app may still run in the background: the desktop never suspends it.
  double backgroundTimeRemaining() const;

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
  bool launching_ = false;
  bool activeAfterLaunching_ = false;
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
  UserNotificationSettings notificationSettings_;
  bool registeredForRemoteNotifications_ = false;
  bool idleTimerDisabled_ = false;
  int64_t statusBarStyle_ = 0;
  bool statusBarHidden_ = false;
  bool networkActivityIndicatorVisible_ = false;
};

}  // namespace platform::ui
