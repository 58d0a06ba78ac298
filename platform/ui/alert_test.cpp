#include "platform/ui/alert.h"

#include <gtest/gtest.h>

#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace platform::ui {
namespace {

class AlertTest : public ::testing::Test {
 protected:
  void SetUp() override { Application::resetShared(); }
  void TearDown() override {
    for (const auto& alert : Alert::visibleAlerts()) alert->answer(0);
    Application::resetShared();
  }
};

TEST_F(AlertTest, AnAnsweredAlertClosesThenRunsTheHandlers) {
  std::vector<std::string> calls;
  {
    auto alert = std::make_shared<Alert>("Title", "Message");
    alert->addAction("OK", Alert::ActionStyle::Default, [&] {
      calls.push_back("ok handler, visible " + std::to_string(Alert::visibleAlerts().size()));
    });
    alert->addAction("Cancel", Alert::ActionStyle::Cancel);
    alert->addTextField({.text = "default", .placeholder = "name", .secure = false});
    alert->setAnswerHandler([&, weak = std::weak_ptr<Alert>(alert)](size_t index) {
      calls.push_back("answer " + std::to_string(index) + " " + weak.lock()->textFields()[0].text);
    });
    EXPECT_EQ(alert->cancelActionIndex(), 1);
    alert->show();  // no window: shown on its own
  }
  // Shown alerts stay alive while visible, and can be found and answered.
  ASSERT_EQ(Alert::visibleAlerts().size(), 1u);
  auto alert = Alert::visibleAlerts()[0];
  EXPECT_TRUE(alert->isVisible());
  EXPECT_FALSE(alert->answer(5));  // no such action
  alert->setTextFieldText(0, "typed");
  EXPECT_TRUE(alert->answer(0));
  EXPECT_FALSE(alert->answer(1));  // closed already
  EXPECT_EQ(calls, (std::vector<std::string>{"ok handler, visible 0", "answer 0 typed"}));
}

TEST_F(AlertTest, AlertShowsOverTheTopmostControllerAndLeavesWithItsAnswer) {
  auto window = std::make_shared<Window>();
  auto root = std::make_shared<ViewController>();
  auto modal = std::make_shared<ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  ASSERT_TRUE(root->presentViewController(modal, false, nullptr));

  auto alert = std::make_shared<Alert>("Permission", "");
  alert->addAction("Allow");
  alert->show();
  EXPECT_EQ(modal->presentedViewController(), alert);
  // An alert adds no view to the window: a presenter shows it.
  EXPECT_EQ(window->subviews().size(), 2u);
  ASSERT_TRUE(alert->answer(0));
  EXPECT_EQ(modal->presentedViewController(), nullptr);
  EXPECT_TRUE(Alert::visibleAlerts().empty());
}

TEST_F(AlertTest, AnAlertAnsweredUnderAnotherClosesWithTheOneAboveIt) {
  auto window = std::make_shared<Window>();
  auto root = std::make_shared<ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  std::vector<std::string> answers;
  auto first = std::make_shared<Alert>("First", "");
  first->addAction("OK", Alert::ActionStyle::Default, [&] { answers.push_back("first"); });
  auto second = std::make_shared<Alert>("Second", "");
  second->addAction("OK", Alert::ActionStyle::Default, [&] { answers.push_back("second"); });
  first->show();
  second->show();
  EXPECT_EQ(first->presentedViewController(), second);

  ASSERT_TRUE(first->answer(0));
  EXPECT_FALSE(first->isVisible());
  EXPECT_FALSE(second->isVisible());
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_TRUE(Alert::visibleAlerts().empty());
  EXPECT_FALSE(first->answer(0));  // answered once only
  EXPECT_EQ(answers, std::vector<std::string>{"first"});
}

class RecordingPresenter : public Alert::Presenter {
 public:
  std::vector<std::string> calls;
  void showAlert(const std::shared_ptr<Alert>& alert) override {
    calls.push_back("show " + alert->title());
  }
  void closeAlert(const Alert& alert) override { calls.push_back("close " + alert.title()); }
};

TEST_F(AlertTest, PresenterIsToldOfShowingAndClosing) {
  RecordingPresenter presenter;
  Alert::setPresenter(&presenter);
  auto alert = std::make_shared<Alert>("Hi", "");
  alert->addAction("OK");
  alert->show();
  alert->show();  // already visible
  alert->answer(0);
  Alert::setPresenter(nullptr);
  EXPECT_EQ(presenter.calls, (std::vector<std::string>{"show Hi", "close Hi"}));
}

}  // namespace
}  // namespace platform::ui
