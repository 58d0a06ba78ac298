// The engine on the main loop: a source of the GLib default main context watches libcurl's
// sockets and timer, and runs a turn of the engine when one of them is ready or a command waits.

#include <glib.h>

#include <unordered_map>

#include "platform/dispatch/queue.h"
#include "platform/net/curl_engine.h"

namespace platform::net {

namespace {

using Clock = std::chrono::steady_clock;

class MainLoopEngine final : public CurlEngine {
 public:
  MainLoopEngine() {
    static GSourceFuncs functions = {&MainLoopEngine::prepare,
                                     &MainLoopEngine::check,
                                     &MainLoopEngine::dispatch,
                                     nullptr,
                                     nullptr,
                                     nullptr};
    source_ = g_source_new(&functions, sizeof(EngineSource));
    reinterpret_cast<EngineSource*>(source_)->engine = this;
    g_source_set_name(source_, "platform URL loading");
    g_source_attach(source_, g_main_context_default());
  }

 private:
  struct EngineSource {
    GSource base;
    MainLoopEngine* engine;
  };

  static MainLoopEngine& of(GSource* source) {
    return *reinterpret_cast<EngineSource*>(source)->engine;
  }

  void multiMade(CURLM* multi) override {
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &MainLoopEngine::onSocket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &MainLoopEngine::onTimer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
  }

  // The main thread sees a command at the next turn of its loop; any other thread wakes it.
  void wake() override {
    if (!isMainThread()) g_main_context_wakeup(g_main_context_default());
  }

  // The earliest of libcurl's timer and the tasks' deadlines.
  std::optional<Clock::time_point> due() const {
    if (curlDue_ && engineDue_) return std::min(*curlDue_, *engineDue_);
    return curlDue_ ? curlDue_ : engineDue_;
  }

  static gboolean prepare(GSource* source, gint* timeout) {
    MainLoopEngine& engine = of(source);
    *timeout = -1;
    if (engine.hasCommands()) {
      *timeout = 0;
      return TRUE;
    }
    const std::optional<Clock::time_point> due = engine.due();
    if (!due) return FALSE;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now());
    *timeout = static_cast<gint>(std::max<int64_t>(left.count(), 0));
    return *timeout == 0;
  }

  static gboolean check(GSource* source) {
    MainLoopEngine& engine = of(source);
    if (engine.hasCommands()) return TRUE;
    if (std::optional<Clock::time_point> due = engine.due(); due && *due <= Clock::now()) {
      return TRUE;
    }
    for (const auto& [socket, tag] : engine.sockets_) {
      if (g_source_query_unix_fd(source, tag) != 0) return TRUE;
    }
    return FALSE;
  }

  static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
    of(source).turn();
    return G_SOURCE_CONTINUE;
  }

  void turn() {
    runCommands();
    // Sockets first looked at, then acted on: an action may stop watching another socket.
    std::vector<std::pair<curl_socket_t, int>> ready;
    for (const auto& [socket, tag] : sockets_) {
      const GIOCondition condition = g_source_query_unix_fd(source_, tag);
      if (condition == 0) continue;
      // A hang-up is read as the end of the stream.
      const int events = ((condition & (G_IO_IN | G_IO_HUP)) ? CURL_CSELECT_IN : 0) |
                         ((condition & G_IO_OUT) ? CURL_CSELECT_OUT : 0) |
                         ((condition & G_IO_ERR) ? CURL_CSELECT_ERR : 0);
      ready.emplace_back(socket, events);
    }
    // Sockets and libcurl's timer exist only once the multi handle does.
    int running = 0;
    for (const auto& [socket, events] : ready) {
      curl_multi_socket_action(multi(), socket, events, &running);
    }
    if (curlDue_ && *curlDue_ <= Clock::now()) {
      curlDue_.reset();
      curl_multi_socket_action(multi(), CURL_SOCKET_TIMEOUT, 0, &running);
    }
    std::optional<std::chrono::milliseconds> wait;
    endTurn(wait);
    engineDue_.reset();
    if (wait) engineDue_ = Clock::now() + *wait;
  }

  static int onSocket(CURL*, curl_socket_t socket, int what, void* self, void*) {
    static_cast<MainLoopEngine*>(self)->watch(socket, what);
    return 0;
  }

  void watch(curl_socket_t socket, int what) {
    auto it = sockets_.find(socket);
    if (what == CURL_POLL_REMOVE) {
      if (it == sockets_.end()) return;
      g_source_remove_unix_fd(source_, it->second);
      sockets_.erase(it);
      return;
    }
    const auto condition = static_cast<GIOCondition>(((what & CURL_POLL_IN) ? G_IO_IN : 0) |
                                                     ((what & CURL_POLL_OUT) ? G_IO_OUT : 0));
    if (it != sockets_.end()) {
      g_source_modify_unix_fd(source_, it->second, condition);
    } else {
      sockets_.emplace(socket, g_source_add_unix_fd(source_, socket, condition));
    }
  }

  static int onTimer(CURLM*, long milliseconds, void* self) {
    auto& engine = *static_cast<MainLoopEngine*>(self);
    engine.curlDue_.reset();
    if (milliseconds >= 0) engine.curlDue_ = Clock::now() + std::chrono::milliseconds(milliseconds);
    return 0;
  }

  GSource* source_ = nullptr;
  // The main thread only.
  std::unordered_map<curl_socket_t, gpointer> sockets_;
  std::optional<Clock::time_point> curlDue_;
  std::optional<Clock::time_point> engineDue_;
};

}  // namespace

CurlEngine& mainLoopEngine() {
  // Never destroyed: transfers may still be cancelled from static destructors.
  static CurlEngine* engine = new MainLoopEngine();
  return *engine;
}

}  // namespace platform::net
