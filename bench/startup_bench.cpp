// startup: process start to start page loaded, for the shell on the sample app (app delegate,
// host controller, start-up plugins, user-agent lock, the app's web engine and storage) vs a
// minimal raw WebKitGTK program loading the same page; each run is a fresh process (this program
// started again in one of the two modes).
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_app_web_engine.h"
#include "app/app_delegate.h"
#include "bench/bench_report.h"
#include "platform/dispatch/notification_center.h"
#include "platform/foundation/log.h"
#include "platform/storage/app_environment.h"
#include "platform/testing/temp_dir.h"
#include "platform/ui/application.h"
#include "platform/ui/gtk/renderer.h"

extern char** environ;

namespace {

using namespace platform;

const std::filesystem::path kBundle = VOKARU_SAMPLE_BUNDLE;

// Tells the parent the page is there, then leaves at once.
[[noreturn]] void loaded() {
  std::fputs("loaded\n", stdout);
  std::fflush(stdout);
  _exit(0);
}

int runOurs(const std::filesystem::path& folder) {
  setConsoleLogging(false);
  AppEnvironment::configure({kBundle, folder / "home", folder / "keychain"});
  auto renderer = ui::gtk::Renderer::install();
  auto delegate = std::make_shared<AppDelegate>();
  auto engine = vkrInstallAppWebEngine();
  if (!renderer.ok() || !engine.ok()) return 1;
  auto observation = NotificationCenter::defaultCenter().addObserver(
      VKRPageDidLoadNotification, nullptr, [](const Notification&) { loaded(); });
  ui::Application::shared().setDelegate(delegate);
  if (!ui::Application::shared().finishLaunching()) return 1;
  for (;;) g_main_context_iteration(nullptr, TRUE);
}

int runRaw() {
  gtk_init(nullptr, nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 375, 667);
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  GtkWidget* view = webkit_web_view_new_with_context(context);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event) {
                     if (event == WEBKIT_LOAD_FINISHED) loaded();
                   }),
                   nullptr);
  const std::string page = "file://" + (kBundle / "www/index.html").string();
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), page.c_str());
  for (;;) g_main_context_iteration(nullptr, TRUE);
}

// Starts this program with the arguments and answers the seconds until it reported its page (or
// a minute when it never did).
double timeStart(std::vector<std::string> arguments) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return 60;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::string self = "/proc/self/exe";
  std::vector<char*> argv{self.data()};
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const auto start = std::chrono::steady_clock::now();
  const int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  double seconds = 60;
  if (spawned == 0) {
    pollfd readable{pipeFds[0], POLLIN, 0};
    char line[16] = {};
    if (poll(&readable, 1, 60000) > 0 && read(pipeFds[0], line, sizeof line - 1) > 0 &&
        std::strncmp(line, "loaded", 6) == 0) {
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  close(pipeFds[0]);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "ours") == 0) return runOurs(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "raw") == 0) return runRaw();
  // One app home for every run, as an installed app starts with the home it left.
  testing::TempDir folder;
  std::vector<double> ours, raw;
  // Alternate the two so that both meet the same machine load; the first of each warms up.
  timeStart({"ours", folder.path().string()});
  timeStart({"raw"});
  for (int i = 0; i < 11; ++i) {
    ours.push_back(timeStart({"ours", folder.path().string()}));
    raw.push_back(timeStart({"raw"}));
  }
  bench::report("startup", bench::median(ours) * 1e3, bench::median(raw) * 1e3, "ms");
  return 0;
}
