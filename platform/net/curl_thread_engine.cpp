// The engine on the network thread: libcurl's own poll, woken by commands.

#include <thread>

#include "platform/net/curl_engine.h"

namespace platform::net {

namespace {

// How long the engine stays awake after work before it sleeps: the next command or the server's
// answer usually comes within this, and a thread still running needs no wake-up, which costs far
// more than this on a loaded machine.
constexpr std::chrono::microseconds kStayAwake{200};
constexpr std::chrono::milliseconds kIdleWait{1000};

class NetworkThreadEngine final : public CurlEngine {
 public:
  NetworkThreadEngine() {
    std::thread([this] { run(); }).detach();
  }

 private:
  // Without a multi handle yet the thread waits on the commands themselves.
  void wake() override {
    if (CURLM* multi = madeMulti()) curl_multi_wakeup(multi);
  }

  void run() {
    auto awakeUntil = std::chrono::steady_clock::now();
    for (;;) {
      bool worked = runCommands();
      int running = 0;
      if (CURLM* multi = madeMulti()) curl_multi_perform(multi, &running);
      std::optional<std::chrono::milliseconds> wait;
      worked = endTurn(wait) || worked;
      const auto now = std::chrono::steady_clock::now();
      if (worked) awakeUntil = now + kStayAwake;
      if (hasCommands()) continue;
      // Soon after work the next command or a server's answer is likely: look without sleeping.
      const std::chrono::milliseconds timeout =
          now < awakeUntil ? std::chrono::milliseconds(0) : wait.value_or(kIdleWait);
      if (CURLM* multi = madeMulti()) {
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(timeout.count()), nullptr);
      } else {
        waitForCommand(timeout);
      }
    }
  }
};

}  // namespace

CurlEngine& networkThreadEngine() {
  // Never destroyed: transfers may still be cancelled from static destructors.
  static CurlEngine* engine = new NetworkThreadEngine();
  return *engine;
}

}  // namespace platform::net
