#include "toolbox/logger/logger.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <stdexcept>
#include <thread>

#include "platform/dispatch/clock.h"
#include "platform/foundation/log.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/temp_dir.h"
#include "platform/testing/test_app.h"
#include "toolbox/logger/log_filters.h"
#include "toolbox/logger/log_formatters.h"
#include "toolbox/logger/log_writers.h"

namespace {

using Lines = std::vector<std::pair<std::string, int>>;

class RecordingWriter : public ZTMLogWriter {
 public:
  void logMessage(const std::string& message, ZTMLoggerLevel level) override {
    platform::MutexLock lock(mutex_);
    lines_.emplace_back(message, level);
  }
  Lines lines() const {
    platform::MutexLock lock(mutex_);
    return lines_;
  }

 private:
  mutable platform::Mutex mutex_;
  Lines lines_ VKR_GUARDED_BY(mutex_);
};

// Sets (or, with null, removes) an environment variable for the scope of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) previous_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { previous_ ? setenv(name_, previous_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

// Sends a standard stream of this process to a file for the scope of a test.
class StreamCapture {
 public:
  StreamCapture(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {
    fflush(nullptr);
    saved_ = dup(fd);
    const int file = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, fd);
    close(file);
  }
  ~StreamCapture() { restore(); }
  std::string text() {
    restore();
    return platform::testing::readFile(path_);
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
  }
  int fd_;
  std::filesystem::path path_;
  int saved_ = -1;
};

void logAtLevel(ZSDK_ZTMLogger& logger, ZTMLoggerLevel level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void logAtLevel(ZSDK_ZTMLogger& logger, ZTMLoggerLevel level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logger.logInternalFunc(nullptr, format, args, level);
  va_end(args);
}

std::shared_ptr<ZSDK_ZTMLogger> recordingLogger(const std::shared_ptr<RecordingWriter>& writer,
                                                std::shared_ptr<ZTMLogFilter> filter = nullptr) {
  return ZSDK_ZTMLogger::loggerWithWriter(writer, nullptr, std::move(filter));
}

TEST(LoggerTest, FormatterMakesTheLineFilterSeesItWriterGetsIt) {
  // A formatter that records what it was given and answers nothing for "skip".
  struct Formatter : ZTMLogFormatter {
    std::vector<std::string> seen;
    std::optional<std::string> stringForFunc(const std::optional<std::string>& func,
                                             const char* format, va_list args,
                                             ZTMLoggerLevel level) override {
      seen.push_back(func.value_or("-") + "|" + format + "|" + std::to_string(level));
      if (std::string_view(format) == "skip") return std::nullopt;
      return platform::vformat(format, args);
    }
  };
  struct Filter : ZTMLogFilter {
    std::vector<std::string> seen;
    bool filterAllowsMessage(const std::string& message, ZTMLoggerLevel) override {
      seen.push_back(message);
      return message.find("secret") == std::string::npos;
    }
  };
  auto writer = std::make_shared<RecordingWriter>();
  auto formatter = std::make_shared<Formatter>();
  auto filter = std::make_shared<Filter>();
  auto logger = ZSDK_ZTMLogger::loggerWithWriter(writer, formatter, filter);

  logger->logFuncError("-[ZIPReachability start]", "Unable to get %s flags", "reachability");
  logger->logInfo("skip");
  logger->logDebug("a %s", "secret");
  logger->logFuncAssert("main", "%d%%", 100);

  EXPECT_EQ(formatter->seen,
            (std::vector<std::string>{"-[ZIPReachability start]|Unable to get %s flags|3",
                                      "-|skip|2", "-|a %s|1", "main|%d%%|4"}));
  EXPECT_EQ(filter->seen,
            (std::vector<std::string>{"Unable to get reachability flags", "a secret", "100%"}));
  EXPECT_EQ(writer->lines(), (Lines{{"Unable to get reachability flags", 3}, {"100%", 4}}));
}

TEST(LoggerTest, RolesDefaultWhenMissing) {
  auto logger = ZSDK_ZTMLogger::logger();
  EXPECT_EQ(logger->writer(), ZTMFileHandleLogWriter::standardOutput());
  EXPECT_TRUE(std::dynamic_pointer_cast<ZSDK_ZTMLogBasicFormatter>(logger->formatter()));
  EXPECT_TRUE(std::dynamic_pointer_cast<ZSDK_ZTMLogNoFilter>(logger->filter()));

  auto writer = std::make_shared<RecordingWriter>();
  logger = recordingLogger(writer, ZSDK_ZTMLogMininumLevelFilter::withMinimumLevel(4));
  logger->logError("dropped");
  logger->setFilter(nullptr);  // every level passes again
  logger->logDebug("kept");
  logger->setFormatter(nullptr);
  logger->logInfo("%s", "basic");
  EXPECT_EQ(writer->lines(), (Lines{{"kept", 1}, {"basic", 2}}));
  logger->setWriter(nullptr);
  EXPECT_EQ(logger->writer(), ZTMFileHandleLogWriter::standardOutput());
}

TEST(LoggerTest, LoggerAsWriterRelogsLevelsOneToFour) {
  auto writer = std::make_shared<RecordingWriter>();
  auto inner = recordingLogger(writer);
  for (int level : {0, 1, 2, 3, 4, 5, -1}) {
    inner->logMessage("line %s " + std::to_string(level), static_cast<ZTMLoggerLevel>(level));
  }
  // The line is re-logged as data, never as a format.
  EXPECT_EQ(writer->lines(),
            (Lines{{"line %s 1", 1}, {"line %s 2", 2}, {"line %s 3", 3}, {"line %s 4", 4}}));
}

TEST(LoggerTest, NothingThrownInsideARoleEscapes) {
  struct Throwing : ZTMLogFormatter {
    std::optional<std::string> stringForFunc(const std::optional<std::string>&, const char*,
                                             va_list, ZTMLoggerLevel) override {
      throw std::runtime_error("formatter failed");
    }
  };
  auto writer = std::make_shared<RecordingWriter>();
  auto logger = ZSDK_ZTMLogger::loggerWithWriter(writer, std::make_shared<Throwing>(), nullptr);
  EXPECT_NO_THROW(logger->logError("x"));
  EXPECT_TRUE(writer->lines().empty());
}

TEST(LoggerTest, RolesMayBeReplacedWhileOtherThreadsLog) {
  auto writer = std::make_shared<RecordingWriter>();
  auto logger = recordingLogger(writer);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) logger->logFuncError("worker", "line %d", i);
    });
  }
  for (int i = 0; i < 500; ++i) {
    logger->setFormatter(i % 2 ? std::make_shared<ZSDK_ZTMLogBasicFormatter>() : nullptr);
    logger->setFilter(std::make_shared<ZSDK_ZTMLogNoFilter>());
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(writer->lines().size(), 2000u);
}

TEST(LoggerTest, SharedLoggerIsMadeOnceAndReplaceable) {
  platform::testing::TestApp app;
  auto first = ZSDK_ZTMLogger::sharedLogger();
  EXPECT_EQ(ZSDK_ZTMLogger::sharedLogger(), first);
  EXPECT_TRUE(std::dynamic_pointer_cast<ZSDK_ZTMLogStandardFormatter>(first->formatter()));
  EXPECT_TRUE(std::dynamic_pointer_cast<ZSDK_ZTMLogLevelFilter>(first->filter()));

  auto mine = ZSDK_ZTMLogger::logger();
  ZSDK_ZTMLogger::setSharedLogger(mine);
  EXPECT_EQ(ZSDK_ZTMLogger::sharedLogger(), mine);
  ZSDK_ZTMLogger::setSharedLogger(nullptr);
  auto fresh = ZSDK_ZTMLogger::sharedLogger();
  EXPECT_NE(fresh, mine);
  EXPECT_NE(fresh, first);
}

TEST(LogFormatterTest, PrettyFunctionNames) {
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {"  main ", "main()"},
      {std::nullopt, "(unknown)"},
      {"", "(unknown)"},
      {" \n\t", "(unknown)"},
      {"-[A b]", "-[A b]"},
      {"+[ZSDK_ZTMLogger sharedLogger]\n", "+[ZSDK_ZTMLogger sharedLogger]"},
      {"start(void)", "start(void)"},
      {"[A b]", "[A b]()"},
  };
  for (const auto& [func, pretty] : cases) {
    EXPECT_EQ(ZSDK_ZTMLogBasicFormatter::prettyNameForFunc(func), pretty);
  }
}

TEST(LogFormatterTest, StandardLineShape) {
  // 2015-01-31 12:00:00.250 UTC, read in the UTC time zone.
  platform::ManualClock clock(platform::Date{1422705600.25});
  auto writer = std::make_shared<RecordingWriter>();
  auto logger = ZSDK_ZTMLogger::loggerWithWriter(
      writer, std::make_shared<ZSDK_ZTMLogStandardFormatter>(), nullptr);
  {
    ScopedEnv tz("TZ", "UTC");
    tzset();
    logger->logFuncError("-[A b]", "took %d ms", 12);
    logger->logInfo(nullptr);
  }
  tzset();

  const Lines lines = writer->lines();
  ASSERT_EQ(lines.size(), 2u);
  const std::string prefix = "2015-01-31 12:00:00.250 " +
                             std::string(program_invocation_short_name) + "[" +
                             std::to_string(getpid()) + "/0x";
  EXPECT_TRUE(std::regex_match(
      lines[0].first, std::regex(std::regex_replace(prefix, std::regex(R"([\[\].])"), R"(\$&)") +
                                 R"([0-9a-f]+\] \[lvl=3\] -\[A b\] took 12 ms)")))
      << lines[0].first;
  EXPECT_TRUE(lines[1].first.ends_with("] [lvl=2] (unknown) (null)")) << lines[1].first;
}

TEST(LogFilterTest, AllowedLevelFilters) {
  struct Case {
    const char* name;
    std::shared_ptr<ZTMLogFilter> filter;
    std::vector<int> allowed;  // of -1..5
  };
  const Case cases[] = {
      {"minimum 3", ZSDK_ZTMLogMininumLevelFilter::withMinimumLevel(3), {3, 4}},
      {"minimum 0", ZSDK_ZTMLogMininumLevelFilter::withMinimumLevel(0), {0, 1, 2, 3, 4}},
      {"maximum 2", ZSDK_ZTMLogMaximumLevelFilter::withMaximumLevel(2), {0, 1, 2}},
      {"maximum 4", ZSDK_ZTMLogMaximumLevelFilter::withMaximumLevel(4), {0, 1, 2, 3, 4}},
      {"set {1, 4}", ZSDK_ZTMLogAllowedLevelFilter::withAllowedLevels({1, 4}), {1, 4}},
      {"all", std::make_shared<ZSDK_ZTMLogAllowedLevelFilter>(), {0, 1, 2, 3, 4}},
      {"none", std::make_shared<ZSDK_ZTMLogNoFilter>(), {-1, 0, 1, 2, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.filter) << c.name;
    std::vector<int> allowed;
    for (int level = -1; level <= 5; ++level) {
      if (c.filter->filterAllowsMessage("line", static_cast<ZTMLoggerLevel>(level))) {
        allowed.push_back(level);
      }
    }
    EXPECT_EQ(allowed, c.allowed) << c.name;
  }
  EXPECT_FALSE(ZSDK_ZTMLogAllowedLevelFilter::withAllowedLevels({2, 5}));
  EXPECT_FALSE(ZSDK_ZTMLogAllowedLevelFilter::withAllowedLevels({}));
  EXPECT_FALSE(ZSDK_ZTMLogAllowedLevelFilter::withAllowedLevels({-1}));
  EXPECT_FALSE(ZSDK_ZTMLogMininumLevelFilter::withMinimumLevel(5));
  EXPECT_FALSE(ZSDK_ZTMLogMininumLevelFilter::withMinimumLevel(-1));
  EXPECT_FALSE(ZSDK_ZTMLogMaximumLevelFilter::withMaximumLevel(5));
  EXPECT_FALSE(ZSDK_ZTMLogMaximumLevelFilter::withMaximumLevel(-1));
}

TEST(LogFilterTest, LevelFilterFollowsTheVerboseSettingOfTheEnvironment) {
  const std::pair<const char*, bool> cases[] = {
      {" yes", true}, {"true", true}, {"T", true}, {"7", true},   {"\n-3x", true},
      {"0", false},   {"no", false},  {"", false}, {"00", false}, {"x1", false},
  };
  for (const auto& [value, verbose] : cases) {
    ScopedEnv env("ZTMVerboseLogging", value);
    ZSDK_ZTMLogLevelFilter filter;
    EXPECT_EQ(filter.filterAllowsMessage("l", kZTMLoggerLevelInfo), verbose) << value;
    EXPECT_FALSE(filter.filterAllowsMessage("l", kZTMLoggerLevelDebug)) << value;
    for (int level : {0, 3, 4, 5, -1}) {
      EXPECT_TRUE(filter.filterAllowsMessage("l", static_cast<ZTMLoggerLevel>(level))) << value;
    }
  }
}

TEST(LogFilterTest, LevelFilterFollowsTheUserDefaultUnlessTheEnvironmentSays) {
  platform::testing::TestApp app;
  ScopedEnv unset("ZTMVerboseLogging", nullptr);
  auto defaults = platform::UserDefaults::standard();
  ZSDK_ZTMLogLevelFilter filter;
  EXPECT_FALSE(filter.filterAllowsMessage("l", kZTMLoggerLevelInfo));
  ASSERT_TRUE(defaults->setObject(true, "ZTMVerboseLogging").ok());
  EXPECT_TRUE(filter.filterAllowsMessage("l", kZTMLoggerLevelInfo));  // read again at the change
  EXPECT_FALSE(filter.filterAllowsMessage("l", kZTMLoggerLevelDebug));
  defaults->removeObjectForKey("ZTMVerboseLogging");
  EXPECT_FALSE(filter.filterAllowsMessage("l", kZTMLoggerLevelInfo));

  ASSERT_TRUE(defaults->setObject("YES", "ZTMVerboseLogging").ok());
  for (const char* value : {"0", "no"}) {
    ScopedEnv env("ZTMVerboseLogging", value);
    EXPECT_FALSE(ZSDK_ZTMLogLevelFilter().filterAllowsMessage("l", kZTMLoggerLevelInfo)) << value;
  }
  EXPECT_TRUE(ZSDK_ZTMLogLevelFilter().filterAllowsMessage("l", kZTMLoggerLevelInfo));
}

TEST(LogWriterTest, FileLoggerAppendsWithItsMode) {
  platform::testing::TestApp app;
  platform::testing::TempDir dir;
  const auto path = dir / "log.txt";
  platform::testing::writeFile(path, "earlier\n");
  auto logger = ZSDK_ZTMLogger::standardLoggerWithPath(path);
  ASSERT_TRUE(logger);
  logger->logError("first");
  logger->logAssert("second");
  const std::string text = platform::testing::readFile(path);
  EXPECT_TRUE(text.starts_with("earlier\n")) << text;
  EXPECT_NE(text.find("[lvl=3] (unknown) first\n"), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("[lvl=4] (unknown) second\n")) << text;

  const mode_t mask = umask(022);
  umask(mask);
  ASSERT_TRUE(ZSDK_ZTMLogger::standardLoggerWithPath(dir / "new.txt"));
  struct stat info {};
  ASSERT_EQ(stat((dir / "new.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644 & ~mask);

  EXPECT_FALSE(ZSDK_ZTMLogger::standardLoggerWithPath(dir / "missing" / "log.txt"));
  EXPECT_FALSE(ZSDK_ZTMLogger::standardLoggerWithPath(""));
}

TEST(LogWriterTest, CompositeWriterVisitsItsWritersInOrder) {
  auto a = std::make_shared<RecordingWriter>();
  auto b = std::make_shared<RecordingWriter>();
  auto both = std::make_shared<ZTMArrayCompositeLogWriter>(
      std::vector<std::shared_ptr<ZTMLogWriter>>{a, nullptr, b, a});
  both->logMessage("line", kZTMLoggerLevelError);
  EXPECT_EQ(a->lines(), (Lines{{"line", 3}, {"line", 3}}));
  EXPECT_EQ(b->lines(), (Lines{{"line", 3}}));
}

TEST(LogWriterTest, StandardOutputAndErrorSplitByLevel) {
  platform::testing::TempDir dir;
  ScopedEnv env("ZTMVerboseLogging", "YES");
  auto logger = ZSDK_ZTMLogger::standardLoggerWithStdoutAndStderr();
  StreamCapture out(STDOUT_FILENO, dir / "out");
  StreamCapture err(STDERR_FILENO, dir / "err");
  logger->logDebug("debug line");
  logger->logInfo("info line");
  logger->logError("error line");
  logger->logAssert("assert line");
  logAtLevel(*logger, kZTMLoggerLevelUnknown, "unknown line");
  const std::string outText = out.text();
  const std::string errText = err.text();

  EXPECT_EQ(std::count(outText.begin(), outText.end(), '\n'), 1) << outText;
  EXPECT_NE(outText.find("[lvl=2] (unknown) info line\n"), std::string::npos) << outText;
  EXPECT_EQ(std::count(errText.begin(), errText.end(), '\n'), 2) << errText;
  EXPECT_NE(errText.find("[lvl=3] (unknown) error line\n"), std::string::npos) << errText;
  EXPECT_NE(errText.find("[lvl=4] (unknown) assert line\n"), std::string::npos) << errText;
}

}  // namespace
