// memory: peak memory of the shell showing the sample app vs a raw WebKitGTK window program
// showing the same page at the same size: the proportional set size (PSS) summed over each
// process tree (the program and what it started: WebKit's web and network processes), sampled
// every 50 ms from the start until a while after the page has answered.
#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "bench/process_start.h"
#include "platform/testing/process_tree.h"
#include "platform/testing/temp_dir.h"

namespace {

const std::filesystem::path kBundle = VOKARU_SAMPLE_BUNDLE;
constexpr int kWidth = 1024, kHeight = 768;  // the shell's default window size
constexpr auto kSettle = std::chrono::seconds(3);
constexpr auto kLimit = std::chrono::seconds(60);

// PSS of one process in KiB; 0 once it is gone.
long pssKiB(pid_t pid) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  for (std::string line; std::getline(rollup, line);) {
    if (line.starts_with("Pss:")) return std::atol(line.c_str() + 4);
  }
  return 0;
}

// Runs the program, samples its tree until kSettle after its output holds `ready`, ends the
// tree and answers the peak in MiB (0 when it never got ready).
double peakMiB(std::vector<std::string> arguments, const std::string& ready) {
  int fds[2];
  if (pipe(fds) != 0) return 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return 0;
  }
  const auto start = std::chrono::steady_clock::now();
  std::optional<std::chrono::steady_clock::time_point> readyAt;
  std::string output;
  long peak = 0;
  while (std::chrono::steady_clock::now() - start < kLimit) {
    if (readyAt && std::chrono::steady_clock::now() - *readyAt > kSettle) break;
    long sum = 0;
    for (const platform::testing::ProcessInfo& process : platform::testing::processTree(child)) {
      sum += pssKiB(process.pid);
    }
    peak = std::max(peak, sum);
    pollfd readable{fds[0], POLLIN, 0};
    char buffer[4096];
    if (poll(&readable, 1, 50) > 0) {
      const ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n > 0) output.append(buffer, size_t(n));
    }
    if (!readyAt && output.find(ready) != std::string::npos) {
      readyAt = std::chrono::steady_clock::now();
    }
  }
  for (const platform::testing::ProcessInfo& process : platform::testing::processTree(child)) {
    kill(process.pid, SIGKILL);
  }
  waitpid(child, nullptr, 0);
  close(fds[0]);
  return readyAt ? peak / 1024.0 : 0;
}

void reportLoadedAndStay() {
  std::fputs("loaded\n", stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "raw") == 0) {
    const std::string page = "file://" + (kBundle / "www/index.html").string();
    bench::runRawWebView(
        kWidth, kHeight, [&](WebKitWebView* view) { webkit_web_view_load_uri(view, page.c_str()); },
        reportLoadedAndStay);
  }
  std::vector<double> ours, raw;
  // Turn about, so that both meet the same machine load.
  for (int i = 0; i < 3; ++i) {
    platform::testing::TempDir folder;
    ours.push_back(peakMiB({VOKARU_EXECUTABLE, "--app-home", (folder / "home").string(),
                            "--keychain", (folder / "keychain").string()},
                           "CONSOLE LOG File read back"));
    raw.push_back(peakMiB({"/proc/self/exe", "raw"}, "loaded"));
  }
  bench::report("memory", bench::median(ours), bench::median(raw), "MiB");
  return 0;
}
