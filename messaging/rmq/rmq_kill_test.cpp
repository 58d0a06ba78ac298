// A writer killed in the middle of its writes loses none of the rows it had committed: the store
// runs in a child process (this test program again, running only the writer below), which reports
// each id once its row is written; the parent kills it and reads the database.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/wire/dudev_core.pb.h"
#include "platform/storage/app_environment.h"
#include "platform/testing/test_app.h"

extern char** environ;

namespace {

constexpr const char* kChildHomeVariable = "VOKARU_RMQ_WRITER_HOME";
constexpr int kReportFd = 3;

// The child's part: writes messages until killed, reporting each committed id on kReportFd.
TEST(RmqKillWriter, WritesUntilKilled) {
  const char* home = getenv(kChildHomeVariable);
  if (!home) GTEST_SKIP() << "runs only as the writer of CommittedRowsSurviveAKill";
  platform::AppEnvironment::configure({.appHome = home});
  ZCMRmqManager manager("rmq2");
  manager.loadRmqId();
  for (int i = 0; i < 100000; ++i) {
    DudevDataMessageStanza message;
    message.set_from("f");
    message.set_category("c");
    message.set_raw_data(std::string(512, static_cast<char>('a' + i % 26)));
    ASSERT_TRUE(manager.saveRmqMessage(message, nullptr));
    const std::string line = message.persistent_id() + "\n";
    ASSERT_EQ(write(kReportFd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }
}

// Reads reported ids until `count` arrived (or the time-out passed), appending them to `ids`.
void readIds(int fd, size_t count, std::vector<std::string>* ids, std::string* pending) {
  while (ids->size() < count) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 20000) <= 0) return;
    char buffer[256];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return;
    pending->append(buffer, n);
    for (size_t end = pending->find('\n'); end != std::string::npos; end = pending->find('\n')) {
      ids->push_back(pending->substr(0, end));
      pending->erase(0, end + 1);
    }
  }
}

TEST(RmqKillTest, CommittedRowsSurviveAKill) {
  platform::testing::TestApp app;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], kReportFd);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = "/proc/self/exe";
  std::string filter = "--gtest_filter=RmqKillWriter.WritesUntilKilled";
  char* argv[] = {program.data(), filter.data(), nullptr};
  std::vector<std::string> variables = {std::string(kChildHomeVariable) + "=" +
                                        app.appHome().string()};
  std::vector<char*> envp;
  for (char** variable = environ; *variable; ++variable) envp.push_back(*variable);
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv, envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);

  std::vector<std::string> reported;
  std::string pending;
  readIds(fds[0], 40, &reported, &pending);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  // Ids reported before the kill took effect are in the pipe still.
  readIds(fds[0], SIZE_MAX, &reported, &pending);
  close(fds[0]);
  ASSERT_GE(reported.size(), 40u);
  EXPECT_TRUE(WIFSIGNALED(status));

  ZCMRmqManager manager("rmq2");
  std::set<std::string> stored;
  manager.scanWithRmqMessageHandler(nullptr, [&](int64_t rmqId, const DudevDataMessageStanza& m) {
    EXPECT_EQ(m.raw_data().size(), 512u);
    stored.insert(std::to_string(rmqId));
  });
  for (const std::string& id : reported) EXPECT_TRUE(stored.contains(id)) << id;
  EXPECT_LE(stored.size(), reported.size() + 1) << "at most the row being written when killed";
}

}  // namespace
