#include <glib-unix.h>
#include <glib.h>
#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_app_web_engine.h"
#include "app/app_delegate.h"
#include "app/window_size.h"
#include "platform/dispatch/notification_center.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/class_registry.h"
#include "platform/media/gtk/file_chooser_picker_presenter.h"
#include "platform/storage/app_environment.h"
#include "platform/ui/application.h"
#include "platform/ui/gtk/renderer.h"
#include "platform/ui/memory_warnings.h"

namespace {

// How long --quit-after-load waits for the page's answers once it has loaded.
constexpr double kQuitAfterLoadLimitSeconds = 30;

void printUsage() {
  std::printf(
      "Usage: vokaru [options]\n"
      "Runs a web application in a native window: the start page of the app bundle's www/\n"
      "folder, whose scripts reach native plugins through the bridge.\n\n"
      "  --bundle DIR       the app bundle to run: config.xml, Info.plist and www/\n"
      "                     (default: the sample app, %s)\n"
      "  --app-home DIR     the app's writable home: Documents/, Library/ (preferences, caches,\n"
      "                     web storage), tmp/ (emptied when the app ends)\n"
      "                     (default: $XDG_DATA_HOME/vokaru/apps/<bundle id>)\n"
      "  --keychain DIR     the app's keychain folder\n"
      "                     (default: $XDG_DATA_HOME/vokaru/keychains/<bundle id>)\n"
      "  --open-url URL     once launched, the app is asked to open the URL (the page's\n"
      "                     handleOpenURL function gets it)\n"
      "  --window-size WxH  the window's size when it opens, as 1280x800 (default: the app's\n"
      "                     WindowSize preference, else %.0fx%.0f); it can be resized\n"
      "  --quit-after-load  stop once the start page has loaded and every answer it waits for\n"
      "                     has come (exit status 1 if that takes over %.0f s)\n"
      "  --help             show this help\n"
      "  --version          show the version\n\n"
      "The page's console lines go to the standard output. Without a display, run it under\n"
      "Xvfb (scripts/run does).\n",
      VOKARU_SAMPLE_BUNDLE, kDefaultWindowSize.width, kDefaultWindowSize.height,
      kQuitAfterLoadLimitSeconds);
}

struct Options {
  platform::AppEnvironmentOptions places;
  std::optional<std::string> openURL;
  std::optional<platform::ui::Size> windowSize;
  bool quitAfterLoad = false;
};

// Parses the command line; an exit status when the process is done (help, version, bad use).
std::optional<int> parseOptions(int argc, char** argv, Options& options) {
  options.places.bundle = VOKARU_SAMPLE_BUNDLE;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help") {
      printUsage();
      return 0;
    }
    if (option == "--version") {
      std::printf("vokaru %s\n", VOKARU_VERSION);
      return 0;
    }
    if (option == "--quit-after-load") {
      options.quitAfterLoad = true;
      continue;
    }
    std::filesystem::path* place = nullptr;
    if (option == "--bundle") place = &options.places.bundle;
    if (option == "--app-home") place = &options.places.appHome;
    if (option == "--keychain") place = &options.places.keychainFolder;
    const bool takesValue = place || option == "--open-url" || option == "--window-size";
    if (takesValue && i + 1 < argc && argv[i + 1][0] != '\0') {
      const char* value = argv[++i];
      if (place) {
        *place = value;
      } else if (option == "--open-url") {
        options.openURL = value;
      } else if (!(options.windowSize = parseWindowSize(value))) {
        std::fprintf(stderr, "vokaru: --window-size takes <width>x<height>, as 1280x800\n");
        return 2;
      }
      continue;
    }
    if (takesValue) {
      std::fprintf(stderr, "vokaru: option '%s' needs a value\n", argv[i]);
    } else {
      std::fprintf(stderr, "vokaru: unknown option '%s'\n", argv[i]);
    }
    printUsage();
    return 2;
  }
  return std::nullopt;
}

// Ends the app once the page waits for no answer any more: asks the page's bridge every 50 ms.
class QuitWhenSettled {
 public:
  explicit QuitWhenSettled(std::shared_ptr<AppDelegate> delegate) : delegate_(std::move(delegate)) {
    observation_ = platform::NotificationCenter::defaultCenter().addObserver(
        VKRPageDidLoadNotification, nullptr, [this](const platform::Notification&) { check(); });
    limit_ = platform::dispatchAfter(platform::seconds(kQuitAfterLoadLimitSeconds),
                                     platform::mainQueue(), [this] {
                                       std::fprintf(stderr, "vokaru: the page did not settle\n");
                                       timedOut_ = true;
                                       platform::ui::Application::shared().terminate();
                                     });
  }
  ~QuitWhenSettled() {
    limit_.cancel();
    poll_.cancel();
  }
  bool timedOut() const { return timedOut_; }

 private:
  void check() {
    std::shared_ptr<VKRViewController> controller = delegate_->viewController();
    std::shared_ptr<platform::web::WebView> view = controller ? controller->webView() : nullptr;
    if (!view) return;
    view->evaluateJavaScript("window.vokaru ? vokaru.require('vokaru/exec').pendingCallbacks() : 0",
                             [this](platform::Result<std::string> pending) {
                               if (pending.ok() && pending.value() == "0") {
                                 platform::ui::Application::shared().terminate();
                                 return;
                               }
                               poll_ = platform::dispatchAfter(platform::seconds(0.05),
                                                               platform::mainQueue(),
                                                               [this] { check(); });
                             });
  }

  std::shared_ptr<AppDelegate> delegate_;
  platform::NotificationCenter::Observation observation_;
  platform::Timer limit_;
  platform::Timer poll_;
  bool timedOut_ = false;
};

// Ends the main loop once the page has handled what the app sent it as it ended (the "pause"
// event, which also makes the page save its state): a script sent after those answers only once
// they ran, and their console lines arrive before its answer. A page that hangs ends it after 2 s.
void quitAfterThePage(const std::weak_ptr<AppDelegate>& delegate, GMainLoop* loop) {
  std::shared_ptr<GMainLoop> held(g_main_loop_ref(loop), g_main_loop_unref);
  auto quit = [held] { g_main_loop_quit(held.get()); };
  // Queued behind the life-cycle scripts the controller has scheduled on the main queue.
  platform::mainQueue()->async([delegate, quit] {
    std::shared_ptr<AppDelegate> live = delegate.lock();
    std::shared_ptr<VKRViewController> controller = live ? live->viewController() : nullptr;
    std::shared_ptr<platform::web::WebView> view = controller ? controller->webView() : nullptr;
    if (!view) {
      quit();
      return;
    }
    platform::Timer limit =
        platform::dispatchAfter(platform::seconds(2), platform::mainQueue(), quit);
    view->evaluateJavaScript("0", [quit, limit](platform::Result<std::string>) mutable {
      limit.cancel();
      quit();
    });
  });
}

}  // namespace

int main(int argc, char** argv) {
  // Each thread that allocates would get a heap arena of its own (up to eight per core), each
  // keeping the blocks freed in it; the shell's threads allocate little, and two arenas leave less
  // free memory lying about.
  mallopt(M_ARENA_MAX, 2);
  Options options;
  if (std::optional<int> done = parseOptions(argc, argv, options)) return *done;
  // Caught from the start (a shell may have started us with them ignored); they end the app in
  // order once its main loop runs.
  for (int signal : {SIGINT, SIGTERM}) {
    g_unix_signal_add(
        signal,
        [](gpointer) -> gboolean {
          platform::ui::Application::shared().terminate();
          return G_SOURCE_CONTINUE;
        },
        nullptr);
  }
  platform::AppEnvironment::configure(options.places);
  // What classes do when they load (restoring background transfers, ...) needs the environment.
  platform::runLoadHooks();

  platform::Result<std::shared_ptr<platform::ui::gtk::Renderer>> renderer =
      platform::ui::gtk::Renderer::install();
  if (!renderer.ok()) {
    std::fprintf(stderr, "vokaru: %s; run it under Xvfb (scripts/run does)\n",
                 renderer.error().localizedDescription().c_str());
    return 1;
  }
  std::unique_ptr<platform::media::gtk::FileChooserPickerPresenter> pickers =
      platform::media::gtk::FileChooserPickerPresenter::install();

  // The delegate first: it sets up the process-wide web state the engine takes.
  auto delegate = std::make_shared<AppDelegate>();
  delegate->setWindowSize(options.windowSize);
  platform::Result<std::shared_ptr<platform::web::WebEngine>> engine = vkrInstallAppWebEngine();
  if (!engine.ok()) {
    std::fprintf(stderr, "vokaru: %s\n", engine.error().localizedDescription().c_str());
    return 1;
  }

  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  platform::ui::Application& application = platform::ui::Application::shared();
  application.setDelegate(delegate);
  application.setTerminateHandler(
      [weak = std::weak_ptr<AppDelegate>(delegate), loop] { quitAfterThePage(weak, loop); });
  const platform::ui::MemoryWarnings memoryWarnings;
  // Starting the app (its bundle, its plugins, the page) leaves free heap blocks behind that the
  // allocator would keep for later: they go back to the system once the page has loaded.
  const platform::NotificationCenter::Observation trimAfterLoad =
      platform::NotificationCenter::defaultCenter().addObserver(
          VKRPageDidLoadNotification, nullptr,
          [](const platform::Notification&) { malloc_trim(0); });
  std::unique_ptr<QuitWhenSettled> quitter;
  if (options.quitAfterLoad) quitter = std::make_unique<QuitWhenSettled>(delegate);

  if (!application.finishLaunching()) {
    g_main_loop_unref(loop);
    return 1;
  }
  if (options.openURL) application.openURLInApp(*options.openURL);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);

  const int status = quitter && quitter->timedOut() ? 1 : 0;
  quitter.reset();
  application.setDelegate(nullptr);
  delegate.reset();
  pickers.reset();
  renderer->reset();
  return status;
}
