#include <gtest/gtest.h>

#include "ads/foundation/application.h"
#include "ads/foundation/content_queue.h"
#include "ads/foundation/view_hierarchy_traverser.h"
#include "platform/dispatch/clock.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/ui/label.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"
#include "platform/web/testing/fake_web_view.h"

namespace {

using platform::testing::runMainLoopUntil;
using platform::ui::View;

// A content holding the text, for queue tests.
std::shared_ptr<ZADContent> contentWith(uint64_t sequenceNumber, const std::string& text) {
  auto content = std::make_shared<ZADContent>(sequenceNumber);
  content->updateContentWithText(text);
  return content;
}

class ZADContentCaptureTest : public ::testing::Test {
 protected:
  ZADContentCaptureTest() { platform::ui::Application::resetShared(); }
  ~ZADContentCaptureTest() override {
    platform::testing::drainMainLoop();
    platform::ui::Application::resetShared();
  }

  // Shows a key window whose root view holds the views.
  void show(const std::vector<std::shared_ptr<View>>& views) {
    auto controller = std::make_shared<platform::ui::ViewController>();
    for (const auto& view : views) controller->view()->addSubview(view);
    window_ = std::make_shared<platform::ui::Window>();
    window_->setRootViewController(controller);
    window_->makeKeyAndVisible();
  }

  // Runs capture passes (one per interval) until one gives a fingerprint, which is served.
  std::optional<std::string> servedAfterAPass(ZADApplication& application) {
    clock_.advanceSeconds(10);
    std::optional<std::string> served;
    runMainLoopUntil(
        [&] { return (served = application.fingerprintWithServedPenaltyDeduction()).has_value(); },
        platform::seconds(2));
    return served;
  }

  platform::testing::TestApp app_;
  platform::ManualClock clock_;
  std::shared_ptr<platform::ui::Window> window_;
};

TEST_F(ZADContentCaptureTest, TheQueueKeepsTheNewestOfEqualTextsAndServesTheBestScore) {
  const std::string pageA = "a page about the weather and the wind and the rain";
  ZADContentQueue queue(10);
  auto first = contentWith(1, pageA);
  queue.deduplicate(first);
  queue.enqueueContent(first);
  auto again = contentWith(2, pageA);
  queue.deduplicate(again);
  queue.enqueueContent(again);
  EXPECT_EQ(queue.count(), 1u);
  EXPECT_EQ(queue.contentWithSequenceNumber(2), again);

  // Scores: text length plus the pass number; a served content loses 100 each time.
  auto longer = contentWith(3, pageA + " and the sun and the sea and the long summer days ahead");
  queue.enqueueContent(longer);
  EXPECT_EQ(queue.contentWithHighestScore(), longer);
  longer->deductServedPenalty();
  EXPECT_EQ(queue.contentWithHighestScore(), again);
  again->deductServedPenalty();
  EXPECT_EQ(queue.contentWithHighestScore(), longer);
  longer->deductServedPenalty();  // nothing scores above 0 now
  EXPECT_FALSE(queue.contentWithHighestScore());

  // Eleven contents in a queue of ten: the oldest goes.
  for (uint64_t n = 4; n <= 13; ++n)
    queue.enqueueContent(contentWith(n, pageA + std::to_string(n)));
  EXPECT_EQ(queue.count(), 10u);
  EXPECT_FALSE(queue.contentWithSequenceNumber(2));
  EXPECT_FALSE(queue.contentWithSequenceNumber(3));
  EXPECT_TRUE(queue.contentWithSequenceNumber(4));

  ZADContentQueue none(0);
  none.enqueueContent(first);
  EXPECT_EQ(none.count(), 0u);
  EXPECT_FALSE(none.contentWithHighestScore());
}

TEST_F(ZADContentCaptureTest, TheTraverserVisitsEachViewBeforeItsSubviewsLastFirst) {
  auto root = std::make_shared<View>();
  std::vector<std::shared_ptr<View>> views;
  for (int i = 0; i < 4; ++i) views.push_back(std::make_shared<View>());
  root->addSubview(views[0]);
  root->addSubview(views[1]);
  views[0]->addSubview(views[2]);
  views[0]->addSubview(views[3]);
  auto traverser = ZADViewHierarchyTraverser::make();
  std::vector<View*> visited;
  std::vector<int64_t> numbers;
  std::optional<bool> finished, refused;
  traverser->traverseView(
      root,
      [&](const std::shared_ptr<View>& view, int64_t sequenceNumber) {
        visited.push_back(view.get());
        numbers.push_back(sequenceNumber);
      },
      [&](bool done) { finished = done; });
  // One walk at a time.
  traverser->traverseView(
      root, [](const std::shared_ptr<View>&, int64_t) {}, [&](bool done) { refused = done; });
  ASSERT_TRUE(runMainLoopUntil([&] { return finished.has_value() && refused.has_value(); }));
  EXPECT_TRUE(*finished);
  EXPECT_FALSE(*refused);
  EXPECT_EQ(visited, (std::vector<View*>{root.get(), views[1].get(), views[0].get(), views[3].get(),
                                         views[2].get()}));
  EXPECT_EQ(numbers, std::vector<int64_t>(5, 1));
  EXPECT_FALSE(traverser->traversing());

  finished.reset();
  traverser->traverseView(
      root, [&](const std::shared_ptr<View>&, int64_t n) { numbers.push_back(n); },
      [&](bool done) { finished = done; });
  ASSERT_TRUE(runMainLoopUntil([&] { return finished.has_value(); }));
  EXPECT_EQ(numbers.back(), 2);
}

TEST_F(ZADContentCaptureTest, PassesFingerprintTheTextOfPagesAndTextViews) {
  const std::string page = "Breaking news: the city council approved the new park by the river";
  const std::string notes = "Notes for the meeting on friday about budgets and plans";
  auto webView = std::make_shared<platform::web::testing::FakeWebView>();
  webView->setScriptResult("document.body.innerText", page);
  auto textView = std::make_shared<platform::ui::TextView>();
  textView->setText(notes);
  auto label = std::make_shared<platform::ui::Label>();
  label->setText("labels give no text at all, however long they are");
  show({webView, textView, label});

  auto application = ZADApplication::make();
  EXPECT_FALSE(application->fingerprintWithServedPenaltyDeduction());
  application->startContentHashing();
  application->startContentHashing();  // already on: nothing changes
  const std::optional<std::string> served = servedAfterAPass(*application);
  ASSERT_TRUE(served);
  // Labels give no text; the page's text comes after the text view's (it is evaluated).
  ZADContent expected(1);
  expected.updateContentWithText(notes);
  expected.updateContentWithText(page);
  EXPECT_EQ(*served, expected.fingerprint());

  // Stopped, the queue still serves; a new start begins with an empty one.
  application->stopContentHashing();
  EXPECT_EQ(application->fingerprintWithServedPenaltyDeduction(), served);
  application->startContentHashing();
  EXPECT_FALSE(application->fingerprintWithServedPenaltyDeduction());
  application->stopContentHashing();
}

}  // namespace
