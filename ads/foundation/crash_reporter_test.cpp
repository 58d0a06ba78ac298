#include "ads/foundation/crash_reporter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ads/foundation/device.h"
#include "ads/foundation/server_hosts.h"
#include "ads/foundation/url_additions.h"
#include "ads/testing/ping_server.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"

// Stand-ins for engine code and app code that throw. Outside an anonymous namespace so that
// their symbols are exported and the reporter can name them.
struct ZADCrashTestEngine {
  [[gnu::noinline]] static void explode() {
    throw std::runtime_error("ZADCrashTestEngine 0x7fa1b2c3 was released twice");
  }
};
struct DAVCrashTestRenderer {
  [[gnu::noinline]] static void explode() { throw std::logic_error("bad state"); }
};
struct AppCrashTestCode {
  [[gnu::noinline]] static void explode() { throw std::out_of_range("index 3"); }
};

namespace {

using platform::Value;

constexpr const char* kGroup = ZADCrashReporter::kRetryGroupKey;

// The report's query values.
platform::Dictionary reportFields(const platform::URL& url) {
  return zad_dictionaryFromQueryParameters(url, false);
}

// The previous terminate handler of the dying test process: it says so and ends the process.
[[noreturn]] void previousHandler() {
  std::fputs("previous handler ran\n", stderr);
  _exit(3);
}

class ZADCrashReporterTest : public ::testing::Test {
 protected:
  ZADCrashReporterTest() {
    ZADSetAdServerBaseURL(server_.url(""));
    (void)ZADDevice::sharedInstance();  // made here, not in a dying child
  }
  void SetUp() override {
#ifdef VOKARU_ADDRESS_SANITIZER
    // Each test forks this many-threaded process, and the address sanitizer of this toolchain
    // doesn't hold its own locks across a fork: the child can inherit one that another thread
    // held and wait for it forever. These run in the plain builds.
    GTEST_SKIP() << "forking a sanitized many-threaded process can hang the child";
#endif
  }
  ~ZADCrashReporterTest() override {
    ZADSetAdServerBaseURL("https://zads.zorova.example");
    platform::testing::drainMainLoop();
  }

  // Runs the thrower in a child process whose reporter has reporting on or off, on a thread of
  // its own so that nothing catches what it throws.
  void dieThrowing(void (*thrower)(), bool reportingEnabled) {
    EXPECT_EXIT(
        {
          std::set_terminate(&previousHandler);
          ZADCrashReporter::sharedInstance().setReportingEnabled(reportingEnabled);
          std::thread(thrower).join();
        },
        ::testing::ExitedWithCode(3), "previous handler ran");
    platform::UserDefaults::resetStandard();  // read what the child wrote
  }

  // The reports waiting in the retry group.
  std::vector<std::string> storedReports() {
    std::vector<std::string> reports;
    if (auto group = platform::UserDefaults::standard()->dictionaryForKey(kGroup)) {
      for (const auto& [url, tries] : *group) reports.push_back(url);
    }
    return reports;
  }

  platform::testing::TestApp app_;
  ads::testing::PingServer server_;
};

TEST_F(ZADCrashReporterTest, EngineCrashIsReportedOnTheNextRun) {
  server_.setStatus(503);  // whatever the dying process manages to send does not count
  dieThrowing(&ZADCrashTestEngine::explode, true);
  const std::vector<std::string> reports = storedReports();
  ASSERT_EQ(reports.size(), 1u);
  const platform::URL url = *platform::URL::parse(reports[0]);
  EXPECT_EQ(url.path(), "/zads/gen_204");
  const platform::Dictionary fields = reportFields(url);
  EXPECT_EQ(fields.find("excn")->stringOr(""), "std::runtime_error");
  EXPECT_EQ(fields.find("excr")->stringOr(""), "ZADCrashTestEngine # was released twice");
  EXPECT_EQ(fields.find("exclc")->stringOr(""), "ZADCrashTestEngine::explode()");
  EXPECT_EQ(fields.find("excst")->stringOr("").rfind("app,ZADCrashTestEngine::explode()", 0), 0u)
      << fields.find("excst")->stringOr("");
  EXPECT_EQ(fields.find("id")->stringOr(""), "zodi-apps-report-exception");
  EXPECT_EQ(fields.find("dev-build")->stringOr(""), "0");
  EXPECT_EQ(fields.find("appid")->stringOr(""), "com.example.vokaru-test");
  EXPECT_EQ(fields.find("js")->stringOr(""), "voda-sdk-i-v7.7.0");

  // The next run's retry pass sends it and lets it go.
  server_.setStatus(200);
  const int before = server_.totalHits();
  auto pinger = ZADPinger::make();
  pinger->lockQueue()->async([pinger] { pinger->pingRetryURLs(); });
  ASSERT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return server_.totalHits() > before && storedReports().empty(); }));
}

TEST_F(ZADCrashReporterTest, OtherCrashesAndDisabledReportingFileNothing) {
  dieThrowing(&AppCrashTestCode::explode, true);
  EXPECT_TRUE(storedReports().empty());
  dieThrowing(&ZADCrashTestEngine::explode, false);
  EXPECT_TRUE(storedReports().empty());
}

TEST_F(ZADCrashReporterTest, AnEngineFrameMakesACrashTheEngines) {
  dieThrowing(&DAVCrashTestRenderer::explode, true);
  const std::vector<std::string> reports = storedReports();
  ASSERT_EQ(reports.size(), 1u);
  const platform::Dictionary fields = reportFields(*platform::URL::parse(reports[0]));
  EXPECT_EQ(fields.find("excn")->stringOr(""), "std::logic_error");
  EXPECT_EQ(fields.find("excr")->stringOr(""), "redacted");
  EXPECT_EQ(fields.find("exclc")->stringOr(""), "DAVCrashTestRenderer::explode()");
}

TEST(ZADCrashReportTest, ReportFieldsFromReasonAndFrames) {
  platform::testing::TestApp app;
  const std::vector<ZADStackFrame> appFrames = {{"app", "main"}, {"libc.so.6", ""}};
  struct Case {
    const char* name;
    std::optional<std::string> reason;
    std::vector<ZADStackFrame> frames;
    std::optional<std::string> excr;  // nothing: no report
    std::string exclc;
  };
  const Case cases[] = {
      {"reason names the engine", "-[ZADBanner 0xABCdef12 0X1]: 0x", appFrames,
       "-[ZADBanner # #]: 0x", "."},
      {"nothing names it", "app failed at 0x10", appFrames, std::nullopt, ""},
      {"a frame names it",
       "app failed",
       {{"app", "main"}, {"app", "DAVView::draw()"}, {"app", "ZADLater::x()"}},
       "redacted",
       "DAVView::draw()"},
      {"no reason", std::nullopt, {{"app", "ZADA::b()"}}, "unknown", "ZADA::b()"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto url = ZADExceptionReportURL({"NSException", c.reason, {}}, c.frames);
    ASSERT_EQ(url.has_value(), c.excr.has_value());
    if (!url) continue;
    const platform::Dictionary fields = reportFields(*url);
    EXPECT_EQ(fields.find("excr")->stringOr(""), *c.excr);
    EXPECT_EQ(fields.find("exclc")->stringOr(""), c.exclc);
    EXPECT_EQ(fields.find("excn")->stringOr(""), "NSException");
    EXPECT_FALSE(fields.contains("eids"));
  }
  (void)platform::UserDefaults::standard()->setObject("e1,e2",
                                                      "/zorova/ads/prefetch_experiment_id");
  const auto url = ZADExceptionReportURL({"", "ZAD", {}}, {});
  ASSERT_TRUE(url);
  EXPECT_EQ(reportFields(*url).find("eids")->stringOr(""), "e1,e2");
  EXPECT_EQ(reportFields(*url).find("excn")->stringOr(""), "unknown");
  EXPECT_EQ(reportFields(*url).find("excst")->stringOr(""), "error");
}

TEST(ZADCrashReportTest, StackTextEndsAtAWholeFrameUnder600Characters) {
  std::vector<ZADStackFrame> frames(200, {"app", "ZADFrame::run()"});  // 19 characters each
  const std::optional<std::string> text = ZADStackText(frames);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->size(), 30u * 19 + 29);  // 30 frames: 599 characters
  EXPECT_EQ(text->substr(text->size() - 19), "app,ZADFrame::run()");
  EXPECT_FALSE(ZADStackText({{"app", std::string(600, 'x')}}));
  EXPECT_FALSE(ZADStackText({}));
}

TEST(ZADCrashReportTest, DevelopmentBuildFromTheSigningProfile) {
  struct Case {
    const char* profile;  // nothing: no file
    bool development;
  };
  const Case cases[] = {
      {nullptr, false},
      {"", false},
      {"<key>get-task-allow</key>\n<true/>\n<key>x</key>", true},
      {"<key>get-task-allow</key>\n<false/>\n<key>x</key>", false},
      {"<key>get-task-allow</key><true/>", false},  // no third "<"
      {"<key>other</key><true/><key>", false},
  };
  for (const Case& c : cases) {
    platform::testing::TestApp app;
    if (c.profile) app.writeBundleFile("embedded.mobileprovision", c.profile);
    EXPECT_EQ(ZADIsDevelopmentBuild(), c.development) << (c.profile ? c.profile : "no file");
  }
}

TEST(ZADCrashReportTest, MasksEveryHexadecimalNumber) {
  EXPECT_EQ(ZADMaskHexadecimalNumbers("at 0x1f, 0XAB and 0xg 00x12 0x"), "at #, # and 0xg 0# 0x");
  EXPECT_TRUE(ZADTextNamesAdsEngine("-[DAVThing go]"));
  EXPECT_FALSE(ZADTextNamesAdsEngine("zad dav"));
}

}  // namespace
