#include "ads/foundation/csi.h"

#include <gtest/gtest.h>

#include <cctype>

#include "ads/foundation/csi_message_handler.h"
#include "ads/foundation/url_additions.h"
#include "ads/testing/csi_server.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/system_info.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"

namespace {

using platform::Dictionary;

class ZADCSITest : public ::testing::Test {
 protected:
  ZADCSITest() {
    (void)platform::UserDefaults::standard()->setObject(1.0,
                                                        "/zorova/ads/csi_reporting_probability");
  }

  // The report's query, decoded; nothing when there is no report.
  std::optional<Dictionary> report(ZADCSI& csi, ZADCSITimeRecorder& recorder) {
    std::optional<platform::URL> url =
        ZADCSIReporter(csi.configuration()).URLForTimeRecorder(recorder);
    if (!url) return std::nullopt;
    return zad_dictionaryFromQueryParameters(*url, false);
  }

  platform::testing::TestApp app_{
      "com.example.csi", Dictionary{{"CFBundleName", "Csi Test"}, {"CFBundleVersion", "4.2"}}};
  platform::ManualClock clock_;
};

TEST_F(ZADCSITest, AReportListsTheCompletedIntervalsOnce) {
  ZADCSI csi;
  auto recorder = csi.timeRecorderForAction("load_ad_ios");
  ASSERT_TRUE(recorder);
  EXPECT_EQ(csi.timeRecorderForAction("load_ad_ios"), recorder);
  recorder->startTimingVariableWithName("load");
  recorder->startTimingVariableWithName("render", "r1");
  clock_.advanceSeconds(0.2506);
  recorder->endTimingVariableWithName("load");
  EXPECT_EQ(recorder->durationAfterEndTimingVariableWithName("render"), 0);  // keyed "r1"
  recorder->endTimingVariableWithName("render", "r1");
  recorder->addExperimentID("exp2");
  csi.setZWSQueryID("q-7");
  (void)csi.timeRecorderForAction("load_ad_ios");  // a looked-up recorder takes the query id

  const std::optional<Dictionary> fields = report(csi, *recorder);
  ASSERT_TRUE(fields);
  EXPECT_EQ(*fields, (Dictionary{{"s", "zodi_sdk"},
                                 {"v", "3"},
                                 {"action", "load_ad_ios"},
                                 {"sdkVersion", "voda-sdk-i-v7.7.0"},
                                 {"gqi", "q-7"},
                                 {"e", "voda-sdk-i-v7.7.0,exp2"},
                                 {"it", "load.251,render.251"}}));
  // Reported variables leave the recorder; with none left there is nothing to send.
  EXPECT_TRUE(recorder->completedVariables().empty());
  EXPECT_FALSE(report(csi, *recorder));
}

TEST_F(ZADCSITest, VariablesEndedTwiceOrAcrossAResignAreKeptApart) {
  ZADCSI csi;
  auto recorder = csi.timeRecorderForAction("make_wv");
  recorder->startTimingVariableWithName("wv");
  clock_.advanceSeconds(1);
  EXPECT_EQ(recorder->durationAfterEndTimingVariableWithName("wv"), 1000);
  recorder->startTimingVariableWithName("wv");
  clock_.advanceSeconds(2);
  recorder->endTimingVariableWithName("wv");
  const auto completed = recorder->completedVariables();
  ASSERT_EQ(completed.size(), 2u);
  EXPECT_TRUE(completed.contains("wv"));
  EXPECT_TRUE(std::next(completed.begin())->first.starts_with("wv"));
  EXPECT_EQ(report(csi, *recorder)->find("it")->stringOr(""), "wv.1000,wv.2000");

  // A variable still running when the app resigns active is invalid for good: never reported,
  // and a recorder holding only such variables sends nothing.
  recorder->startTimingVariableWithName("slow");
  platform::NotificationCenter::defaultCenter().post(
      platform::ui::kApplicationWillResignActiveNotification);
  clock_.advanceSeconds(1);
  recorder->endTimingVariableWithName("slow");
  EXPECT_FALSE(report(csi, *recorder));
  EXPECT_EQ(recorder->completedVariables().size(), 1u);

  recorder->startTimingVariableWithName("cancelled");
  recorder->cancelTimingVariableWithName("cancelled");
  EXPECT_TRUE(recorder->ongoingVariables().empty());
}

TEST_F(ZADCSITest, TheProcessReportsWithTheServersProbability) {
  auto enabledCount = [](float probability) {
    ZADCSIConfiguration configuration("zodi_sdk");
    int enabled = 0;
    for (int i = 0; i < 10'000; ++i) {
      configuration.setReportingProbability(probability);
      enabled += configuration.reportingEnabled();
    }
    return enabled;
  };
  EXPECT_EQ(enabledCount(0), 0);
  EXPECT_EQ(enabledCount(-1), 0);
  EXPECT_EQ(enabledCount(1), 10'000);
  const int sampled = enabledCount(0.05f);  // 500 expected; the bounds are over 6 deviations off
  EXPECT_GT(sampled, 350);
  EXPECT_LT(sampled, 650);

  (void)platform::UserDefaults::standard()->setObject(0, "/zorova/ads/csi_reporting_probability");
  ZADCSI silent;
  EXPECT_FALSE(silent.timeRecorderForAction("load_ad_ios"));
}

TEST_F(ZADCSITest, ReportsGoToTheEndpointWithTheCSIUserAgent) {
  ads::testing::CSIServer server;
  ZADCSI csi;
  csi.configuration()->setServer(server.endpoint());
  for (const char* action : {"load_ad_ios", "make_wv"}) {
    auto recorder = csi.timeRecorderForAction(action);
    recorder->startTimingVariableWithName("t");
    clock_.advanceSeconds(0.01);
    recorder->endTimingVariableWithName("t");
  }
  csi.timeRecorderForAction("load_med");  // nothing completed: no report
  csi.setTimestamp(5, "label");
  csi.sendReport();
  EXPECT_EQ(csi.timestampForLabel("label"), 0);
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return server.reports().size() == 2; }));

  const std::string agent = server.reports()[0].userAgent;
  std::string os = platform::systemVersion();
  std::replace(os.begin(), os.end(), '.', '_');
  EXPECT_TRUE(agent.starts_with("ZorovaCsi/1.0 (" + ZADCSIConfiguration::deviceVersionString() +
                                "; U; CPU " + platform::systemName() + " " + os + "; "))
      << agent;
  EXPECT_TRUE(agent.ends_with(") Csi Test/4.2")) << agent;
  for (const auto& report : server.reports()) {
    EXPECT_EQ(report.parameters.find("it")->stringOr(""), "t.10");
  }

  // The device part: a "/" before the first digit of the machine name, "." for ",".
  const std::string device = ZADCSIConfiguration::deviceVersionString();
  const std::string machine = platform::machineName();
  const size_t digit = machine.find_first_of("0123456789");
  if (digit != std::string::npos) {
    EXPECT_EQ(device, machine.substr(0, digit) + "/" + machine.substr(digit));
  }
}

TEST_F(ZADCSITest, InstrumentMessagesRecordOnTheWebViewRecorder) {
  ZADCSI csi;
  ZADCSIZMSGHandler handler(csi);
  auto send = [&](const std::string& query) {
    return handler.handleRequest(*platform::URL::parse("zmsg://ad/instrument?" + query), nullptr);
  };
  EXPECT_TRUE(send("action=tick&label=first_paint&timestamp=1500"));  // no start yet
  csi.setTimestamp(1000, "native:view_load");
  EXPECT_TRUE(send("action=tick&label=paint&timestamp=1500"));
  EXPECT_TRUE(send("action=tick&label=same&timestamp=1000"));  // an interval of 0: invalid
  csi.setTimestamp(2000, "later");
  EXPECT_TRUE(send("action=tick&label=back&start_label=later&timestamp=1500"));  // start after end
  EXPECT_TRUE(send("action=experiment&value=77"));
  EXPECT_TRUE(send("action=extra&name=fmt&value=banner"));
  EXPECT_TRUE(send("action=extra&name=half"));
  EXPECT_TRUE(send("action=unknown"));
  EXPECT_TRUE(send("nothing=here"));
  EXPECT_FALSE(
      handler.handleRequest(*platform::URL::parse("zmsg://ad/Instrument?action=tick"), nullptr));
  EXPECT_FALSE(handler.handleRequest(*platform::URL::parse("https://ad/instrument"), nullptr));

  EXPECT_EQ(csi.timestampForLabel("paint"), 1500);
  auto recorder = csi.timeRecorderForAction("make_wv");
  // A tick's interval is in milliseconds and reported through the seconds rule, so it reads
  // 1000 times its length.
  EXPECT_EQ(*report(csi, *recorder), (Dictionary{{"s", "zodi_sdk"},
                                                 {"v", "3"},
                                                 {"action", "make_wv"},
                                                 {"sdkVersion", "voda-sdk-i-v7.7.0"},
                                                 {"fmt", "banner"},
                                                 {"e", "voda-sdk-i-v7.7.0,77"},
                                                 {"it", "paint.500000"}}));
  EXPECT_EQ(recorder->completedVariables().size(), 1u);  // "same" stays, never reported
}

TEST_F(ZADCSITest, InstrumentMessagesDoNothingWhileTheProcessDoesNotReport) {
  (void)platform::UserDefaults::standard()->setObject(0, "/zorova/ads/csi_reporting_probability");
  ZADCSI csi;
  ZADCSIZMSGHandler handler(csi);
  csi.setTimestamp(1000, "native:view_load");
  EXPECT_TRUE(handler.handleRequest(
      *platform::URL::parse("zmsg://ad/instrument?action=tick&label=paint&timestamp=1500"),
      nullptr));
  EXPECT_EQ(csi.timestampForLabel("paint"), 1500);
  EXPECT_FALSE(csi.timeRecorderForAction("make_wv"));
}

// A handler that waits while told to, recording what its one action saw.
class WaitingHandler final : public ZADZMSGHandler {
 public:
  const ActionTable* actionBlockDictionary() const override {
    static const ActionTable table = {
        {"close",
         [](ZADZMSGHandler& handler, const std::shared_ptr<ZADAdView>&,
            const Dictionary& parameters) {
           static_cast<WaitingHandler&>(handler).ran.push_back(parameters.find("n")->stringOr(""));
         }},
    };
    return &table;
  }
  bool shouldBufferNotification(const ZADNotification&,
                                const std::shared_ptr<ZADAdView>&) override {
    return waiting;
  }
  bool waiting = true;
  std::vector<std::string> ran;
};

TEST(ZADZMSGHandlerTest, MessagesWaitInOrderUntilTheHandlerIsReady) {
  WaitingHandler handler;
  auto message = [](const char* name, const char* n) {
    return *ZADNotification::make(name, Dictionary{{"n", n}});
  };
  EXPECT_FALSE(handler.handleNotification(message("Close", "0"), nullptr));
  EXPECT_TRUE(handler.handleNotification(message("close", "A"), nullptr));
  EXPECT_TRUE(handler.handleNotification(message("close", "B"), nullptr));
  handler.flushBuffer();
  EXPECT_TRUE(handler.ran.empty());
  handler.waiting = false;
  handler.flushBuffer();
  EXPECT_EQ(handler.ran, (std::vector<std::string>{"A", "B"}));
  EXPECT_FALSE(ZADZMSGHandler().handleNotification(message("close", "C"), nullptr));
}

TEST(ZADNotificationTest, CreativeMessageURLs) {
  auto parse = [](const char* url) { return ZADNotification::fromURL(*platform::URL::parse(url)); };
  auto loaded = parse("zmsg://host/loadAdURL?request_id=3&url=a%2Fb%3Dc");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->name(), "loadAdURL");
  EXPECT_EQ(loaded->parameters(), (Dictionary{{"request_id", "3"}, {"url", "a/b=c"}}));
  EXPECT_EQ(parse("zmsg://host/open?a=webapp;u=x&A=y")->parameters().size(), 3u);
  EXPECT_EQ(parse("zmsg://host/log?a&b=&=c&d=e=f")->parameters(),
            (Dictionary{{"b", ""}, {"", "c"}}));
  EXPECT_EQ(parse("ZMSG://host/close")->name(), "close");
  EXPECT_EQ(parse("zmsg://host/a/b")->name(), "a/b");
  for (const char* none : {"zmsg://host", "zmsg://host/", "zmsg://host/?a=1", "about:blank"}) {
    EXPECT_FALSE(parse(none)) << none;
  }
}

}  // namespace
