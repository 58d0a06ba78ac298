// webstart: process start to first page loaded, for a window with a web view built through the
// view model, renderer and web engine vs a minimal raw WebKitGTK program; each run is a fresh
// process (this program started again in one of the two modes).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_report.h"
#include "platform/ui/application.h"
#include "platform/ui/gtk/renderer.h"
#include "platform/ui/view_controller.h"
#include "platform/web/webkit/webkit_engine.h"

extern char** environ;

namespace {

using namespace platform;

constexpr const char* kPage = "<title>start</title><p>first page</p>";

// Tells the parent the page is there, then leaves at once.
[[noreturn]] void loaded() {
  std::fputs("loaded\n", stdout);
  std::fflush(stdout);
  _exit(0);
}

struct FirstLoad : web::WebViewDelegate {
  void didFinishLoad(web::WebView&) override { loaded(); }
};

int runOurs() {
  auto renderer = ui::gtk::Renderer::install();
  auto engine = web::makeWebKitEngine({});
  if (!renderer.ok() || !engine.ok()) return 1;
  auto window = std::make_shared<ui::Window>(ui::Rect(0, 0, 400, 300));
  auto root = std::make_shared<ui::ViewController>();
  window->setRootViewController(root);
  auto view = (*engine)->createWebView({.frame = root->view()->bounds()});
  view->setAutoresizingMask(ui::kFlexibleWidth | ui::kFlexibleHeight);
  root->view()->addSubview(view);
  window->makeKeyAndVisible();
  auto delegate = std::make_shared<FirstLoad>();
  view->setDelegate(delegate);
  view->loadHTMLString(kPage, "");
  for (;;) g_main_context_iteration(nullptr, TRUE);
}

int runRaw() {
  gtk_init(nullptr, nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  GtkWidget* view = webkit_web_view_new_with_context(context);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event) {
                     if (event == WEBKIT_LOAD_FINISHED) loaded();
                   }),
                   nullptr);
  webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), kPage, "about:blank");
  for (;;) g_main_context_iteration(nullptr, TRUE);
}

// Starts this program in the mode and answers the seconds until it reported its page (or a
// minute when it never did).
double timeStart(const char* mode) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return 60;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  char self[] = "/proc/self/exe";
  char* argv[] = {self, const_cast<char*>(mode), nullptr};
  pid_t child = 0;
  const auto start = std::chrono::steady_clock::now();
  const int spawned = posix_spawn(&child, self, &actions, nullptr, argv, environ);
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
  if (argc == 2 && std::strcmp(argv[1], "ours") == 0) return runOurs();
  if (argc == 2 && std::strcmp(argv[1], "raw") == 0) return runRaw();
  // Alternate the two so that both meet the same machine load.
  std::vector<double> ours, raw;
  for (int i = 0; i < 11; ++i) {
    ours.push_back(timeStart("ours"));
    raw.push_back(timeStart("raw"));
  }
  bench::report("webstart", bench::median(ours) * 1e3, bench::median(raw) * 1e3, "ms");
  return 0;
}
