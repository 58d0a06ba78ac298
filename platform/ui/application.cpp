#include "platform/ui/application.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/dispatch/main_thread_check.h"
#include "platform/dispatch/notification_center.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace platform::ui {

namespace {

std::unique_ptr<Application>& sharedInstance() {
  static std::unique_ptr<Application> application;
  return application;
}

std::vector<Application::DelegateHook>& delegateHooks() {
  static std::vector<Application::DelegateHook> hooks;
  return hooks;
}

}  // namespace

unsigned ApplicationDelegate::supportedInterfaceOrientations(Application&,
                                                             const std::shared_ptr<Window>&) {
  return kOrientationMaskAll;
}

Application::Application() : urlOpener_(makeSystemURLOpener()) {}

Application::~Application() { expiryTimer_.cancel(); }

Application& Application::shared() {
  auto& application = sharedInstance();
  if (!application) application.reset(new Application());
  return *application;
}

void Application::resetShared() { sharedInstance().reset(new Application()); }

void Application::addDelegateHook(DelegateHook hook) {
  VKR_ASSERT_MAIN_THREAD();
  delegateHooks().push_back(std::move(hook));
}

void Application::setDelegate(std::shared_ptr<ApplicationDelegate> delegate) {
  VKR_ASSERT_MAIN_THREAD();
  if (delegate == delegate_) return;
  delegate_ = std::move(delegate);
  if (!delegate_) return;
  for (const DelegateHook& hook : delegateHooks()) hook(delegate_);
}

void Application::registerForRemoteNotifications() {
  VKR_ASSERT_MAIN_THREAD();
  registeredForRemoteNotifications_ = true;
  // Answered in a later turn, as the platform's service answers; to the application of then.
  mainQueue()->async([] {
    Application& application = Application::shared();
    std::shared_ptr<ApplicationDelegate> delegate = application.delegate_;
    auto* remote = delegate ? delegate->adopted<RemoteNotificationRegistrationDelegate>() : nullptr;
    if (!remote) return;
    Result<Bytes> token = remoteNotificationDeviceToken();
    if (token.ok()) {
      remote->didRegisterForRemoteNotificationsWithDeviceToken(application, *token);
    } else {
      remote->didFailToRegisterForRemoteNotificationsWithError(application, token.error());
    }
  });
}

bool Application::receiveRemoteNotification(
    const Dictionary& userInfo, std::function<void(BackgroundFetchResult)> completionHandler) {
  VKR_ASSERT_MAIN_THREAD();
  if (!completionHandler) completionHandler = [](BackgroundFetchResult) {};
  std::shared_ptr<ApplicationDelegate> delegate = delegate_;
  if (auto* fetch = delegate ? delegate->adopted<RemoteNotificationFetchDelegate>() : nullptr) {
    fetch->didReceiveRemoteNotification(*this, userInfo, std::move(completionHandler));
    return true;
  }
  auto* plain = delegate ? delegate->adopted<RemoteNotificationDelegate>() : nullptr;
  if (plain) plain->didReceiveRemoteNotification(*this, userInfo);
  const BackgroundFetchResult result =
      plain ? BackgroundFetchResult::NewData : BackgroundFetchResult::NoData;
  mainQueue()->async([completionHandler, result] { completionHandler(result); });
  return plain != nullptr;
}

bool Application::receiveRemoteNotificationAction(const std::string& identifier,
                                                  const Dictionary& userInfo,
                                                  std::function<void()> completionHandler) {
  VKR_ASSERT_MAIN_THREAD();
  if (!completionHandler) completionHandler = [] {};
  std::shared_ptr<ApplicationDelegate> delegate = delegate_;
  auto* handler = delegate ? delegate->adopted<RemoteNotificationActionDelegate>() : nullptr;
  if (!handler) {
    mainQueue()->async(completionHandler);
    return false;
  }
  handler->handleActionWithIdentifier(*this, identifier, userInfo, std::move(completionHandler));
  return true;
}

double Application::backgroundTimeRemaining() const { return std::numeric_limits<double>::max(); }

void Application::post(const char* name, const Value& userInfo) {
  NotificationCenter::defaultCenter().post(name, this, userInfo);
}

bool Application::finishLaunching(const Value& options) {
  VKR_ASSERT_MAIN_THREAD();
  launching_ = true;
  const bool answer = delegate_ ? delegate_->didFinishLaunching(*this, options) : true;
  post(kApplicationDidFinishLaunchingNotification, options);
  launching_ = false;
  if (std::exchange(activeAfterLaunching_, false)) becomeActive();
  return answer;
}

// The states lie on one line, Active - Inactive - Background; a move passes through each state
// between, posting the notification of each step.
void Application::moveTo(ApplicationState target) {
  VKR_ASSERT_MAIN_THREAD();
  while (state_ != target) {
    switch (state_) {
      case ApplicationState::Active:
        post(kApplicationWillResignActiveNotification);
        state_ = ApplicationState::Inactive;
        break;
      case ApplicationState::Inactive:
        if (target == ApplicationState::Active) {
          state_ = ApplicationState::Active;
          post(kApplicationDidBecomeActiveNotification);
        } else {
          state_ = ApplicationState::Background;
          post(kApplicationDidEnterBackgroundNotification);
        }
        break;
      case ApplicationState::Background:
        post(kApplicationWillEnterForegroundNotification);
        state_ = ApplicationState::Inactive;
        break;
    }
  }
}

void Application::becomeActive() {
  if (launching_) {
    activeAfterLaunching_ = true;
    return;
  }
  if (!terminating_) moveTo(ApplicationState::Active);
}

void Application::resignActive() {
  if (state_ == ApplicationState::Active) moveTo(ApplicationState::Inactive);
}

void Application::enterBackground() { moveTo(ApplicationState::Background); }

void Application::enterForeground() {
  if (state_ == ApplicationState::Background && !terminating_) moveTo(ApplicationState::Inactive);
}

void Application::terminate() {
  if (terminating_) return;
  terminating_ = true;
  moveTo(ApplicationState::Background);
  post(kApplicationWillTerminateNotification);
  if (backgroundTaskCount() == 0) {
    finishTerminating();
    return;
  }
  expiryTimer_ =
      dispatchAfter(kBackgroundTaskTimeLimit, mainQueue(), [this] { expireBackgroundTasks(); });
}

void Application::finishTerminating() {
  if (terminateHandlerRan_) return;
  terminateHandlerRan_ = true;
  expiryTimer_.cancel();
  if (terminateHandler_) terminateHandler_();
}

void Application::expireBackgroundTasks() {
  std::vector<std::pair<BackgroundTaskIdentifier, std::function<void()>>> expiring;
  {
    MutexLock lock(backgroundTasksMutex_);
    expiring = backgroundTasks_;
  }
  // Handlers end their tasks (taking the lock), so they run outside it.
  for (const auto& [task, handler] : expiring) {
    if (handler) handler();
  }
  {
    MutexLock lock(backgroundTasksMutex_);
    backgroundTasks_.clear();
  }
  if (terminating_) finishTerminating();
}

BackgroundTaskIdentifier Application::beginBackgroundTask(std::function<void()> expirationHandler) {
  MutexLock lock(backgroundTasksMutex_);
  backgroundTasks_.emplace_back(++lastBackgroundTask_, std::move(expirationHandler));
  return lastBackgroundTask_;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier task) {
  if (!isMainThread()) {
    mainQueue()->async([task] { Application::shared().endBackgroundTask(task); });
    return;
  }
  bool lastEnded = false;
  {
    MutexLock lock(backgroundTasksMutex_);
    const size_t before = backgroundTasks_.size();
    std::erase_if(backgroundTasks_, [task](const auto& entry) { return entry.first == task; });
    lastEnded = before != backgroundTasks_.size() && backgroundTasks_.empty();
  }
  if (lastEnded && terminating_) finishTerminating();
}

size_t Application::backgroundTaskCount() const {
  MutexLock lock(backgroundTasksMutex_);
  return backgroundTasks_.size();
}

void Application::receiveMemoryWarning() {
  if (delegate_) delegate_->didReceiveMemoryWarning(*this);
  post(kApplicationDidReceiveMemoryWarningNotification);
  const auto windows = windows_;
  for (const auto& window : windows) {
    for (auto controller = window->rootViewController(); controller;
         controller = controller->presentedViewController()) {
      controller->didReceiveMemoryWarning();
    }
  }
}

bool Application::openURLInApp(const std::string& url, const std::string& sourceApplication,
                               const Value& annotation) {
  return delegate_ && delegate_->openURL(*this, url, sourceApplication, annotation);
}

bool Application::canOpenURL(const std::string& url) {
  return urlOpener_ && urlOpener_->canOpenURL(url);
}

void Application::openURL(const std::string& url, std::function<void(bool)> completion) {
  VKR_ASSERT_MAIN_THREAD();
  if (urlOpener_) {
    urlOpener_->openURL(url, std::move(completion));
  } else if (completion) {
    mainQueue()->async([completion] { completion(false); });
  }
}

void Application::makeKeyWindow(const std::shared_ptr<Window>& window) {
  VKR_ASSERT_MAIN_THREAD();
  if (!window) return;
  keyWindow_ = window;
  if (std::find(windows_.begin(), windows_.end(), window) != windows_.end()) return;
  windows_.push_back(window);
  if (windowPresenter_) windowPresenter_(window);
}

void Application::removeWindow(const Window& window) {
  std::erase_if(windows_, [&](const auto& w) { return w.get() == &window; });
  if (keyWindow_.lock().get() == &window) {
    keyWindow_ = windows_.empty() ? std::weak_ptr<Window>() : windows_.back();
  }
}

void Application::setWindowPresenter(
    std::function<void(const std::shared_ptr<Window>&)> presenter) {
  windowPresenter_ = std::move(presenter);
  if (!windowPresenter_) return;
  const auto windows = windows_;
  for (const auto& window : windows) windowPresenter_(window);
}

unsigned Application::supportedInterfaceOrientations(const std::shared_ptr<Window>& window) {
  return delegate_ ? delegate_->supportedInterfaceOrientations(*this, window)
                   : unsigned{kOrientationMaskAll};
}

}  // namespace platform::ui
