// The dialogs end to end: a real page shows dialogs, which are answered as the user would.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "VokaruLib/testing/page_host_test.h"
#include "platform/media/system_sound.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/wav.h"
#include "platform/ui/alert.h"

namespace {

using platform::ui::Alert;
using vokaru::testing::SharedPageHostTest;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="Notification"><param name="ios-package" value="VKRNotification" /></feature>
</widget>)";

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script>
<script src="plugins/vokaru-plugin-dialogs/dialogs.js"></script>
<script>var answers = {};</script></head><body></body></html>)";

std::string sourceOf(const char* path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

class DialogsPageTest : public SharedPageHostTest<DialogsPageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    return {{"config.xml", kConfig},
            {"www/index.html", kPage},
            {"www/plugins/vokaru-plugin-dialogs/dialogs.js", sourceOf(VKR_DIALOGS_MODULE)},
            {"VKRNotification.bundle/beep.wav", platform::testing::wavOf(0.010, 8000, 0)}};
  }

 protected:
  void SetUp() override { resetPage("answers = {}"); }

  // The dialog the page asked for, once shown.
  std::shared_ptr<Alert> shownAlert() {
    EXPECT_TRUE(
        platform::testing::runMainLoopUntil([] { return !Alert::visibleAlerts().empty(); }));
    auto alerts = Alert::visibleAlerts();
    return alerts.empty() ? nullptr : alerts.back();
  }
};

TEST_F(DialogsPageTest, ConfirmAndAlertAnswerTheButtonNumber) {
  host_->eval(
      "vokaru.dialogs.confirm('Delete it?', 'Files', ['OK', 'Cancel'])"
      ".then(function (b) { answers.confirm = b; }); 'asked'");
  auto confirm = shownAlert();
  ASSERT_TRUE(confirm);
  EXPECT_EQ(confirm->message(), "Delete it?");
  ASSERT_TRUE(confirm->answer(1));
  EXPECT_TRUE(host_->waitFor("answers.confirm === 2"));

  // With callbacks, and without labels: one "OK".
  host_->eval(
      "vokaru.dialogs.alert('Saved', 'Files', null, function (b) { answers.alert = b; });"
      "'asked'");
  auto alert = shownAlert();
  ASSERT_TRUE(alert);
  ASSERT_EQ(alert->actions().size(), 1u);
  EXPECT_EQ(alert->actions()[0].title, "OK");
  ASSERT_TRUE(alert->answer(0));
  EXPECT_TRUE(host_->waitFor("answers.alert === 1"));
}

TEST_F(DialogsPageTest, PromptAnswersTheButtonAndTheTextTyped) {
  host_->eval(
      "vokaru.dialogs.prompt('Your name?', 'Hello', ['OK', 'Later'], 'Ada')"
      ".then(function (a) { answers.prompt = a.buttonIndex + ':' + a.input1; }); 'asked'");
  auto prompt = shownAlert();
  ASSERT_TRUE(prompt);
  ASSERT_EQ(prompt->textFields().size(), 1u);
  EXPECT_EQ(prompt->textFields()[0].text, "Ada");
  prompt->setTextFieldText(0, "Grace \"G\" Hopper");
  ASSERT_TRUE(prompt->answer(1));
  EXPECT_TRUE(host_->waitFor("answers.prompt === '2:Grace \"G\" Hopper'"));
}

TEST_F(DialogsPageTest, BeepPlaysTheCountAsked) {
  platform::media::SystemSound::setAudioSink("fakesink");
  const uint64_t before = platform::media::SystemSound::playCount();
  host_->eval("vokaru.dialogs.beep(3); 'beeping'");
  EXPECT_TRUE(platform::testing::runMainLoopUntil(
      [&] { return platform::media::SystemSound::playCount() - before == 3; }));
}

}  // namespace
