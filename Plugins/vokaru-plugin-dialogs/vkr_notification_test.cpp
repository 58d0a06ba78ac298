#include "Plugins/vokaru-plugin-dialogs/vkr_notification.h"

#include <gtest/gtest.h>

#include "VokaruLib/testing/recording_command_delegate.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/media/system_sound.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/wav.h"
#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace {

using platform::Value;
using platform::testing::runMainLoopUntil;
using platform::ui::Alert;
using vokaru::testing::RecordingCommandDelegate;

constexpr const char* kConfig = R"(<?xml version="1.0"?><widget><content src="index.html"/>
<feature name="Notification"><param name="ios-package" value="VKRNotification"/></feature>
</widget>)";

class VKRNotificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ui::Application::resetShared();
    window_->setRootViewController(host_.controller);
    window_->makeKeyAndVisible();
    plugin_->setCommandDelegate(delegate_);
    plugin_->setViewController(host_.controller);
  }
  void TearDown() override {
    while (!Alert::visibleAlerts().empty()) Alert::visibleAlerts().back()->answer(0);
    platform::testing::drainMainLoop();
    window_.reset();
    platform::ui::Application::resetShared();
  }

  void run(const std::string& action, Value::Array arguments) {
    ASSERT_TRUE(plugin_->performAction(
        action, VKRInvokedUrlCommand(std::move(arguments), action + std::to_string(++calls_),
                                     "Notification", action)));
  }

  std::shared_ptr<Alert> shownAlert(size_t count = 1) {
    EXPECT_TRUE(runMainLoopUntil([&] { return Alert::visibleAlerts().size() == count; }));
    auto alerts = Alert::visibleAlerts();
    return alerts.size() < count ? nullptr : alerts[count - 1];
  }

  vokaru::testing::TestController host_{kConfig};
  std::shared_ptr<platform::ui::Window> window_ = std::make_shared<platform::ui::Window>();
  std::shared_ptr<RecordingCommandDelegate> delegate_ =
      std::make_shared<RecordingCommandDelegate>();
  std::shared_ptr<VKRNotification> plugin_ = std::make_shared<VKRNotification>(nullptr);
  int calls_ = 0;
};

TEST_F(VKRNotificationTest, DialogsAnswerTheButtonNumberChosen) {
  run("confirm", {"Delete it?", "Files", Value::array({"OK", "Cancel"})});
  auto confirm = shownAlert();
  ASSERT_TRUE(confirm);
  EXPECT_EQ(confirm->title(), "Files");
  EXPECT_EQ(confirm->message(), "Delete it?");
  ASSERT_EQ(confirm->actions().size(), 2u);
  EXPECT_TRUE(confirm->textFields().empty());
  ASSERT_TRUE(confirm->answer(1));
  ASSERT_TRUE(delegate_->waitForResults(1));
  EXPECT_EQ(delegate_->sent()[0].result.status(), kVKRCommandStatusOK);
  EXPECT_EQ(delegate_->sent()[0].result.message(), Value(2));
  EXPECT_EQ(delegate_->sent()[0].callbackId, "confirm1");

  run("alert", {"Saved", "Files", "Fine"});
  auto alert = shownAlert();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->actions()[0].title, "Fine");
  ASSERT_TRUE(alert->answer(0));
  ASSERT_TRUE(delegate_->waitForResults(2));
  EXPECT_EQ(delegate_->sent()[1].result.message(), Value(1));
}

TEST_F(VKRNotificationTest, PromptsAnswerTheTextTyped) {
  run("prompt", {"Your name?", "Hello", Value::array({"OK", "Later"}), "Ada"});
  auto untouched = shownAlert();
  ASSERT_TRUE(untouched);
  ASSERT_EQ(untouched->textFields().size(), 1u);
  EXPECT_EQ(untouched->textFields()[0].text, "Ada");
  ASSERT_TRUE(untouched->answer(0));
  ASSERT_TRUE(delegate_->waitForResults(1));
  EXPECT_EQ(delegate_->sent()[0].result.message(),
            Value::dictionary({{"buttonIndex", 1}, {"input1", "Ada"}}));

  run("prompt", {"Your name?", "Hello", Value::array({"OK", "Later"})});
  auto typed = shownAlert();
  ASSERT_TRUE(typed);
  typed->setTextFieldText(0, "Grace");
  ASSERT_TRUE(typed->answer(1));
  ASSERT_TRUE(delegate_->waitForResults(2));
  EXPECT_EQ(delegate_->sent()[1].result.message(),
            Value::dictionary({{"buttonIndex", 2}, {"input1", "Grace"}}));
}

TEST_F(VKRNotificationTest, ADialogWithoutLabelsGetsAnOKButtonAndStillAnswers) {
  for (const char* action : {"alert", "confirm", "prompt"}) {
    SCOPED_TRACE(action);
    const size_t before = delegate_->sent().size();
    run(action, {"Message"});
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    ASSERT_EQ(alert->actions().size(), 1u);
    EXPECT_EQ(alert->actions()[0].title, "OK");
    ASSERT_TRUE(alert->answer(0));
    ASSERT_TRUE(delegate_->waitForResults(before + 1));
  }
}

TEST_F(VKRNotificationTest, DialogsOfOneTurnArePresentedOneAfterTheOtherAndAnswerTheirOwnCalls) {
  run("alert", {"First", "", "One"});
  run("alert", {"Second", "", "Two"});
  // The second waits until the first presentation completed, then shows on top of it.
  EXPECT_EQ(Alert::visibleAlerts().size(), 1u);
  auto second = shownAlert(2);
  ASSERT_TRUE(second);
  auto first = Alert::visibleAlerts()[0];
  EXPECT_EQ(first->message(), "First");
  EXPECT_EQ(first->presentedViewController(), second);
  ASSERT_TRUE(second->answer(0));
  ASSERT_TRUE(first->answer(0));
  ASSERT_TRUE(delegate_->waitForResults(2));
  EXPECT_EQ(delegate_->sent()[0].callbackId, "alert2");
  EXPECT_EQ(delegate_->sent()[1].callbackId, "alert1");
}

TEST_F(VKRNotificationTest, BeepPlaysTheCountOneAfterTheOther) {
  platform::media::SystemSound::setAudioSink("fakesink");
  host_.app.writeBundleFile("VKRNotification.bundle/beep.wav",
                            platform::testing::wavOf(0.010, 8000, 0));
  struct Case {
    Value::Array arguments;
    uint64_t plays;
  };
  for (const Case& c : {Case{{3}, 3}, Case{{}, 1}, Case{{0}, 1}, Case{{-2}, 1}}) {
    const uint64_t before = platform::media::SystemSound::playCount();
    run("beep", c.arguments);
    EXPECT_TRUE(runMainLoopUntil(
        [&] { return platform::media::SystemSound::playCount() - before == c.plays; }));
    // Nothing more follows, and nothing is answered.
    platform::testing::runMainLoopUntil([] { return false; }, platform::seconds(0.2));
    EXPECT_EQ(platform::media::SystemSound::playCount() - before, c.plays);
  }
  EXPECT_TRUE(delegate_->sent().empty());
}

TEST_F(VKRNotificationTest, WithoutTheBeepSoundNothingPlays) {
  const uint64_t before = platform::media::SystemSound::playCount();
  run("beep", {2});
  platform::testing::drainMainLoop();
  EXPECT_EQ(platform::media::SystemSound::playCount(), before);
}

}  // namespace
