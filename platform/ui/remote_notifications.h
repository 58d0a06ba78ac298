#pragma once
// The app delegate's optional operations for remote notifications. A delegate that takes them
// adopts one interface or both; whoever delivers a notification checks which it adopts (as the
// platform asks whether a delegate answers an operation) and calls only that one. Main thread.
#include <functional>

#include "platform/foundation/value.h"

namespace platform::ui {

class Application;

// What a background fetch brought, told to the completion handler.
enum class BackgroundFetchResult { NewData = 0, NoData = 1, Failed = 2 };
using FetchCompletionHandler = std::function<void(BackgroundFetchResult)>;

class RemoteNotificationDelegate {
 public:
  virtual ~RemoteNotificationDelegate() = default;
  virtual void didReceiveRemoteNotification(Application& application,
                                            const Dictionary& userInfo) = 0;
};

// The form that lets the app fetch in the background and then call the handler.
class RemoteNotificationFetchDelegate {
 public:
  virtual ~RemoteNotificationFetchDelegate() = default;
  virtual void didReceiveRemoteNotification(Application& application, const Dictionary& userInfo,
                                            FetchCompletionHandler completionHandler) = 0;
};

}  // namespace platform::ui
