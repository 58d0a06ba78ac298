#include "platform/ui/view_controller.h"

#include <gtest/gtest.h>

#include "platform/testing/main_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace platform::ui {
namespace {

// Logs its life-cycle calls into a shared list.
class Probe : public ViewController {
 public:
  Probe(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}
  void viewDidLoad() override { log_->push_back(name_ + " didLoad"); }
  void viewWillAppear(bool) override { log_->push_back(name_ + " willAppear"); }
  void viewDidAppear(bool) override { log_->push_back(name_ + " didAppear"); }
  void viewWillDisappear(bool) override { log_->push_back(name_ + " willDisappear"); }
  void viewDidDisappear(bool) override { log_->push_back(name_ + " didDisappear"); }

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

class ViewControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application::resetShared();
    window_ = std::make_shared<Window>(Rect(0, 0, 320, 480));
    root_ = std::make_shared<Probe>("root", &log_);
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  void TearDown() override { Application::resetShared(); }

  std::vector<std::string> log_;
  std::shared_ptr<Window> window_;
  std::shared_ptr<Probe> root_;
};

TEST_F(ViewControllerTest, RootViewFillsTheWindowAndFollowsItsSize) {
  EXPECT_EQ(log_, (std::vector<std::string>{"root didLoad"}));
  EXPECT_EQ(root_->view()->superview(), window_);
  EXPECT_EQ(root_->view()->window(), window_);
  window_->setFrame(Rect(0, 0, 640, 400));
  EXPECT_EQ(root_->view()->frame(), Rect(0, 0, 640, 400));
  EXPECT_TRUE(window_->isKeyWindow());
  EXPECT_FALSE(window_->isHidden());

  auto other = std::make_shared<ViewController>();
  window_->setRootViewController(other);
  EXPECT_EQ(root_->view()->superview(), nullptr);
  EXPECT_EQ(other->view()->superview(), window_);
}

TEST_F(ViewControllerTest, PresentAndDismissAChainWithCompletionsLater) {
  auto first = std::make_shared<Probe>("first", &log_);
  auto second = std::make_shared<Probe>("second", &log_);
  log_.clear();
  int completions = 0;
  ASSERT_TRUE(root_->presentViewController(first, true, [&] { ++completions; }));
  EXPECT_EQ(completions, 0);  // never inline
  platform::testing::drainMainLoop();
  EXPECT_EQ(completions, 1);
  ASSERT_TRUE(first->presentViewController(second, false, nullptr));
  EXPECT_EQ(root_->presentedViewController(), first);
  EXPECT_EQ(second->presentingViewController(), first);
  EXPECT_EQ(second->window(), window_);
  // Presented views cover the window, above the root's.
  EXPECT_EQ(window_->subviews().back(), second->view());
  EXPECT_EQ(second->view()->frame(), window_->bounds());

  log_.clear();
  root_->dismissViewController(true, [&] { ++completions; });
  EXPECT_EQ(log_, (std::vector<std::string>{"root willAppear", "second willDisappear",
                                            "second didDisappear", "first willDisappear",
                                            "first didDisappear", "root didAppear"}));
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_EQ(first->presentingViewController(), nullptr);
  EXPECT_EQ(window_->subviews(), (std::vector<std::shared_ptr<View>>{root_->view()}));
  platform::testing::drainMainLoop();
  EXPECT_EQ(completions, 2);
}

TEST_F(ViewControllerTest, APresentedControllerDismissesItself) {
  auto modal = std::make_shared<ViewController>();
  ASSERT_TRUE(root_->presentViewController(modal, false, nullptr));
  bool done = false;
  modal->dismissViewController(false, [&] { done = true; });
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  platform::testing::drainMainLoop();
  EXPECT_TRUE(done);
}

TEST_F(ViewControllerTest, RefusedPresentationsChangeNothing) {
  auto first = std::make_shared<ViewController>();
  auto second = std::make_shared<ViewController>();
  auto outside = std::make_shared<ViewController>();  // in no window
  ASSERT_TRUE(root_->presentViewController(first, false, nullptr));
  bool called = false;
  EXPECT_FALSE(root_->presentViewController(second, false, [&] { called = true; }));
  EXPECT_FALSE(second->presentViewController(first, false, nullptr));  // already presented
  EXPECT_FALSE(outside->presentViewController(second, false, nullptr));
  EXPECT_FALSE(root_->presentViewController(nullptr, false, nullptr));
  EXPECT_FALSE(first->presentViewController(first, false, nullptr));
  platform::testing::drainMainLoop();
  EXPECT_FALSE(called);
  EXPECT_EQ(root_->presentedViewController(), first);
  EXPECT_EQ(second->presentingViewController(), nullptr);
}

}  // namespace
}  // namespace platform::ui
