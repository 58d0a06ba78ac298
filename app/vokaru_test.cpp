// The shell as a newcomer runs it: the sample app, headless, stopping once it has shown its answer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/testing/temp_dir.h"

extern char** environ;

namespace {

// What a run printed: the standard output and, apart, the standard error.
struct ShellRun {
  int status = -1;
  std::string output;
  std::string log;
  std::string all() const { return output + log; }
};

ShellRun vokaru(const std::string& arguments) {
  ShellRun run;
  platform::testing::TempDir folder;
  const std::string command =
      std::string(VOKARU_EXECUTABLE) + " " + arguments + " 2>" + (folder / "stderr").string();
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.log = platform::testing::readFile(folder / "stderr");
  return run;
}

TEST(VokaruShellTest, TheSampleAppShowsItsAnswerAndStops) {
  platform::testing::TempDir folder;
  const std::string places =
      "--app-home " + (folder / "home").string() + " --keychain " + (folder / "keychain").string();
  ShellRun run = vokaru(places + " --quit-after-load --open-url 'sample://hello?to=\"you\"'");
  EXPECT_EQ(run.status, 0) << run.all();
  // The page's console lines, its last one answering the "pause" the app sent it as it ended,
  // are on the standard output; the runtime's log lines are on the standard error.
  for (const char* line : {"CONSOLE LOG Echo answered: Hello from the page",
                           "CONSOLE LOG File read back \"Written by the sample app",
                           "CONSOLE LOG Opened with sample://hello?to=\"you\"",
                           "CONSOLE LOG The app went to the background"}) {
    EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.all();
  }
  EXPECT_EQ(run.output.find("Finished load of"), std::string::npos) << run.output;
  EXPECT_NE(run.log.find("Finished load of: file://"), std::string::npos) << run.log;
  EXPECT_EQ(run.log.find("CONSOLE"), std::string::npos) << run.log;
  // The app's home took its files; its private temporary folder was emptied at exit.
  EXPECT_TRUE(std::filesystem::exists(folder / "home/Library/Preferences/org.vokaru.sample.plist"));
  EXPECT_TRUE(std::filesystem::is_empty(folder / "home/tmp"));
}

// A program started as a terminal starts a job: in a process group of its own, SIGINT and
// SIGTERM at their defaults, its standard output read here, its standard error into a file.
class Job {
 public:
  Job(std::vector<std::string> arguments, const std::vector<std::string>& environment) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (folder_ / "stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = environment;
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[1]);
    output_ = fds[0];
  }
  ~Job() {
    if (pid_ > 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
  }

  // Reads the output until it holds the text, the output ends or a minute passes.
  bool waitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (output.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd readable{output_, POLLIN, 0};
      if (left.count() <= 0 || poll(&readable, 1, int(left.count())) <= 0 || !readMore()) {
        return false;
      }
    }
    return true;
  }
  // Signals the whole group, as Ctrl-C in a terminal does.
  void signalGroup(int signal) const { kill(-pid_, signal); }
  void signal(int signal) const { kill(pid_, signal); }
  // Reads the rest of the output and waits for the end: the exit status, -1 when killed.
  int finish() {
    while (readMore()) {
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string log() const { return platform::testing::readFile(folder_ / "stderr"); }

  std::string output;

 private:
  bool readMore() {
    char buffer[4096];
    const ssize_t n = read(output_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output.append(buffer, size_t(n));
    return true;
  }

  platform::testing::TempDir folder_;
  pid_t pid_ = 0;
  int output_ = -1;
};

// This process's environment, less the named variable.
std::vector<std::string> environment(const std::string& without = "") {
  std::vector<std::string> kept;
  for (char** variable = environ; *variable; ++variable) {
    if (without.empty() || !std::string(*variable).starts_with(without + "=")) {
      kept.emplace_back(*variable);
    }
  }
  return kept;
}

constexpr const char* kShownLine = "CONSOLE LOG File read back";
constexpr const char* kPauseLine = "CONSOLE LOG The app went to the background";

TEST(VokaruShellTest, SignalsEndTheAppInOrder) {
  for (int signal : {SIGINT, SIGTERM}) {
    platform::testing::TempDir folder;
    Job app({VOKARU_EXECUTABLE, "--app-home", (folder / "home").string(), "--keychain",
             (folder / "keychain").string()},
            environment());
    ASSERT_TRUE(app.waitFor(kShownLine)) << app.output << app.log();
    app.signal(signal);
    EXPECT_EQ(app.finish(), 0) << strsignal(signal) << "\n" << app.output << app.log();
    // The page had its "pause" and the app ended as it does when its window closes.
    EXPECT_NE(app.output.find(kPauseLine), std::string::npos) << app.output;
    EXPECT_TRUE(std::filesystem::is_empty(folder / "home/tmp"));
  }
}

// scripts/run without a display makes a virtual one, which must outlive the app's orderly end.
TEST(VokaruShellTest, CtrlCOnTheRunScriptWithoutADisplayEndsTheAppInOrder) {
  platform::testing::TempDir folder;
  std::vector<std::string> headless = environment("DISPLAY");
  headless.push_back("VOKARU_SKIP_BUILD=1");
  headless.push_back("BUILD_DIR=" VOKARU_BUILD_DIR);
  Job run({"/bin/bash", VOKARU_SOURCE_DIR "/scripts/run", "--app-home", (folder / "home").string(),
           "--keychain", (folder / "keychain").string()},
          headless);
  ASSERT_TRUE(run.waitFor(kShownLine)) << run.output << run.log();
  run.signalGroup(SIGINT);
  EXPECT_EQ(run.finish(), 0) << run.output << run.log();
  EXPECT_NE(run.output.find(kPauseLine), std::string::npos) << run.output << run.log();
}

// Background fetches the last run left are taken up again at start; one that finds its session
// empty ends a second later and leaves the list of them. The page keeps the app busy for longer
// than that, so the end is seen before the app quits.
TEST(VokaruShellTest, BackgroundFetchesOfTheLastRunAreRestoredAtStart) {
  platform::testing::TempDir folder;
  const auto write = [](const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
  };
  const std::filesystem::path bundle = folder / "bundle";
  write(bundle / "Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>CFBundleIdentifier</key><string>org.vokaru.restore</string>
</dict></plist>)");
  write(bundle / "config.xml", "<widget><content src=\"index.html\"/></widget>");
  write(bundle / "www/index.html",
        "<p>busy</p><script>var t = Date.now(); while (Date.now() - t < 3000) {}</script>");
  const std::filesystem::path defaults =
      folder / "home/Library/Preferences/org.vokaru.restore.plist";
  write(defaults, R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>com.zorova.ZTMSessionFetcher.downloads</key><array>
<string>com.zorova.ZTMSessionFetcher_1B4E28BA-2FA1-11D2-883F-0016D3CCA427</string>
</array></dict></plist>)");
  ShellRun run =
      vokaru("--bundle " + bundle.string() + " --app-home " + (folder / "home").string() +
             " --keychain " + (folder / "keychain").string() + " --quit-after-load");
  EXPECT_EQ(run.status, 0) << run.output;
  std::ifstream file(defaults, std::ios::binary);
  const std::string stored((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
  EXPECT_EQ(stored.find("ZTMSessionFetcher_1B4E28BA"), std::string::npos) << stored;
}

TEST(VokaruShellTest, BadUseIsExplained) {
  ShellRun help = vokaru("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("--bundle DIR"), std::string::npos);
  EXPECT_NE(help.output.find("--app-home DIR"), std::string::npos);
  ShellRun unknown = vokaru("--frobnicate");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.log.find("unknown option '--frobnicate'"), std::string::npos);
  platform::testing::TempDir empty;
  ShellRun noConfig = vokaru("--bundle " + empty.path().string() + " --app-home " +
                             (empty / "home").string() + " --keychain " + (empty / "kc").string());
  EXPECT_EQ(noConfig.status, 1);
  EXPECT_NE(noConfig.log.find("ERROR: config.xml does not exist."), std::string::npos)
      << noConfig.all();
}

}  // namespace
