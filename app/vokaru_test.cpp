// The shell as a newcomer runs it: the sample app, headless, stopping once it has shown its answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/testing/temp_dir.h"

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
