#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/dispatch/notification_center.h"
#include "platform/web/web_view.h"

// Web views take their user agent from one process-wide default ("UserAgent") when they start a
// load, so web views that want different agents take turns: a process-wide lock handed out as
// numbered tokens (1, 2, 3, ...) to requests in arrival order. Also finds and keeps the device's
// original user agent. Main thread only; completions run on the main thread.
class VKRUserAgentUtil {
 public:
  using LockCompletion = std::function<void(int64_t lockToken)>;

  // User defaults: the discovered agent and the "<model> <system version> <locale>" it was found
  // on (persistent), and the agent for web views starting a load (registered, not persisted).
  static constexpr const char* kUserAgentKey = "Vokaru-User-Agent";
  static constexpr const char* kUserAgentVersionKey = "Vokaru-User-Agent-Version";
  static constexpr const char* kWebViewUserAgentKey = "UserAgent";

  // The web engine's own user agent, found once per device, system version and locale and kept in
  // the user defaults.
  static std::string originalUserAgent();
  // Forgets the found agent: the next originalUserAgent() finds it again.
  static void onAppLocaleDidChange(const platform::Notification& notification);

  // The completion gets a token at once when the lock is free, else when the lock is handed on.
  static void acquireLock(LockCompletion completion);
  // Releases the lock held with the token at the address and clears it (0). A cleared token does
  // nothing, so repeated releases are harmless; a token that does not hold the lock is a
  // programming error that stops the process with "Got token <given>, expected <current>".
  static void releaseLock(int64_t* lockToken);
  // Makes the agent the one web views use from their next load on; the token must hold the lock.
  static void setUserAgent(const std::string& userAgent, int64_t lockToken);
  // Gives the web view the agent set for web views starting a load, as a web view does when it
  // starts one; call it right before loading.
  static void applyUserAgentDefault(platform::web::WebView& webView);
};
