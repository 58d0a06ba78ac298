#pragma once

// Timing a process from its start to its first page: the benchmark starts itself again in a
// mode, and the child tells it "loaded" on its standard output once the page is there.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// In the child: tells the parent the page is there, then leaves at once.
[[noreturn]] inline void reportLoaded() {
  std::fputs("loaded\n", stdout);
  std::fflush(stdout);
  _exit(0);
}

// Starts this program with the arguments and answers the seconds until it reported its page (or
// a minute when it never did).
inline double secondsUntilLoaded(std::vector<std::string> arguments) {
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
    // The page's console lines come on the same output, before or after the report.
    const auto deadline = start + std::chrono::seconds(60);
    std::string output = "\n";
    pollfd readable{pipeFds[0], POLLIN, 0};
    char chunk[4096];
    while (output.find("\nloaded\n") == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0) break;
      const ssize_t n = read(pipeFds[0], chunk, sizeof chunk);
      if (n <= 0) break;
      output.append(chunk, static_cast<size_t>(n));
    }
    if (output.find("\nloaded\n") != std::string::npos) {
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  close(pipeFds[0]);
  return seconds;
}

// The raw baseline in the child: a GTK window of the size with one WebKitGTK view, in which
// `load` starts the page; `loaded` runs once it has loaded (by default: reports and leaves).
[[noreturn]] inline void runRawWebView(int width, int height,
                                       const std::function<void(WebKitWebView*)>& load,
                                       void (*loaded)() = reportLoaded) {
  gtk_init(nullptr, nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), width, height);
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  GtkWidget* view = webkit_web_view_new_with_context(context);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  g_signal_connect(view, "load-changed",
                   G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer done) {
                     if (event == WEBKIT_LOAD_FINISHED) reinterpret_cast<void (*)()>(done)();
                   }),
                   reinterpret_cast<gpointer>(loaded));
  load(WEBKIT_WEB_VIEW(view));
  for (;;) g_main_context_iteration(nullptr, TRUE);
}

}  // namespace bench
