#include "platform/ui/view.h"

#include <gtest/gtest.h>

namespace platform::ui {
namespace {

std::shared_ptr<View> makeView(Rect frame = {}) { return std::make_shared<View>(frame); }

struct AutoresizeCase {
  const char* name;
  unsigned mask;
  Rect before;
  Rect after;  // after the superview grows from 100x200 to 300x400
};

class AutoresizeTest : public ::testing::TestWithParam<AutoresizeCase> {};

TEST_P(AutoresizeTest, SubviewFollowsSuperviewResize) {
  const AutoresizeCase& c = GetParam();
  auto parent = makeView(Rect(0, 0, 100, 200));
  auto child = makeView(c.before);
  child->setAutoresizingMask(c.mask);
  parent->addSubview(child);
  parent->setFrame(Rect(0, 0, 300, 400));
  EXPECT_EQ(child->frame(), c.after) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Masks, AutoresizeTest,
    ::testing::Values(AutoresizeCase{"none", kAutoresizingNone, Rect(10, 20, 30, 40),
                                     Rect(10, 20, 30, 40)},
                      AutoresizeCase{"fill", kFlexibleWidth | kFlexibleHeight, Rect(0, 0, 100, 200),
                                     Rect(0, 0, 300, 400)},
                      AutoresizeCase{"pinned bottom", kFlexibleTopMargin | kFlexibleWidth,
                                     Rect(0, 156, 100, 44), Rect(0, 356, 300, 44)},
                      // Both margins flexible: the view stays centred.
                      AutoresizeCase{"centred",
                                     kFlexibleLeftMargin | kFlexibleRightMargin |
                                         kFlexibleTopMargin | kFlexibleBottomMargin,
                                     Rect(40, 90, 20, 20), Rect(140, 190, 20, 20)},
                      // Margin and width share the growth in proportion to their extents (10 : 30).
                      AutoresizeCase{"proportional", kFlexibleLeftMargin | kFlexibleWidth,
                                     Rect(10, 0, 30, 200), Rect(60, 0, 180, 200)}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

TEST(ViewTest, ZeroExtentsShareGrowthEvenly) {
  auto parent = makeView(Rect(0, 0, 0, 0));
  auto child = makeView(Rect(0, 0, 0, 0));
  child->setAutoresizingMask(kFlexibleLeftMargin | kFlexibleWidth | kFlexibleRightMargin);
  parent->addSubview(child);
  parent->setFrame(Rect(0, 0, 90, 0));
  EXPECT_EQ(child->frame(), Rect(30, 0, 30, 0));
}

TEST(ViewTest, AutoresizingIsOffWhenTheSuperviewSaysSoAndLayoutRunsAfterResize) {
  struct Recording : View {
    using View::View;
    std::vector<Rect> childFramesAtLayout;
    void layoutSubviews() override {
      for (const auto& child : subviews()) childFramesAtLayout.push_back(child->frame());
    }
  };
  auto parent = std::make_shared<Recording>(Rect(0, 0, 100, 100));
  auto child = makeView(Rect(0, 0, 100, 100));
  child->setAutoresizingMask(kFlexibleWidth);
  parent->addSubview(child);

  parent->setFrame(Rect(5, 5, 100, 100));  // moved, same size: no layout
  EXPECT_TRUE(parent->childFramesAtLayout.empty());
  parent->setFrame(Rect(5, 5, 150, 100));
  ASSERT_EQ(parent->childFramesAtLayout.size(), 1u);
  EXPECT_EQ(parent->childFramesAtLayout[0], Rect(0, 0, 150, 100));  // autoresized first

  parent->setAutoresizesSubviews(false);
  parent->setFrame(Rect(5, 5, 50, 100));
  EXPECT_EQ(child->frame(), Rect(0, 0, 150, 100));
}

TEST(ViewTest, TreeOrderMovesAndRefusesCycles) {
  auto root = makeView();
  auto a = makeView(), b = makeView(), c = makeView();
  ASSERT_TRUE(root->addSubview(a));
  ASSERT_TRUE(root->addSubview(b));
  ASSERT_TRUE(root->insertSubview(c, 0));
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{c, a, b}));

  root->bringSubviewToFront(c);
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{a, b, c}));
  root->sendSubviewToBack(b);
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{b, a, c}));
  root->addSubview(b);  // re-adding moves to the front
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{a, c, b}));

  // Moving to another superview leaves the old one.
  ASSERT_TRUE(a->addSubview(c));
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{a, b}));
  EXPECT_EQ(c->superview(), a);

  EXPECT_FALSE(c->addSubview(root));  // root is c's ancestor
  EXPECT_FALSE(a->addSubview(a));
  EXPECT_FALSE(a->addSubview(nullptr));
  EXPECT_TRUE(c->isDescendantOf(*root));

  c->removeFromSuperview();
  EXPECT_EQ(c->superview(), nullptr);
  EXPECT_TRUE(a->subviews().empty());
}

TEST(ViewTest, ViewWithTagSearchesDepthFirst) {
  auto root = makeView(), a = makeView(), deep = makeView(), b = makeView();
  a->setTag(1);
  deep->setTag(7);
  b->setTag(7);
  root->addSubview(a);
  a->addSubview(deep);
  root->addSubview(b);
  EXPECT_EQ(root->viewWithTag(7), deep);
  EXPECT_EQ(root->viewWithTag(0), root);
  EXPECT_EQ(root->viewWithTag(42), nullptr);
}

TEST(ViewTest, ConvertRectBetweenBranches) {
  auto window = makeView(Rect(50, 50, 400, 400));  // its own origin does not count
  auto left = makeView(Rect(10, 20, 100, 100));
  auto inner = makeView(Rect(5, 5, 50, 50));
  auto right = makeView(Rect(200, 0, 100, 100));
  window->addSubview(left);
  left->addSubview(inner);
  window->addSubview(right);
  left->setBounds(Rect(0, 10, 100, 100));  // scrolled by 10

  EXPECT_EQ(inner->convertRect(Rect(1, 1, 2, 2), nullptr), Rect(16, 16, 2, 2));
  EXPECT_EQ(inner->convertRect(Rect(1, 1, 2, 2), right.get()), Rect(-184, 16, 2, 2));
  EXPECT_EQ(right->convertRect(Rect(-184, 16, 2, 2), inner.get()), Rect(1, 1, 2, 2));
}

TEST(ViewTest, SetBoundsKeepsTheCentre) {
  auto view = makeView(Rect(0, 0, 100, 100));
  view->setBounds(Rect(0, 0, 50, 20));
  EXPECT_EQ(view->frame(), Rect(25, 40, 50, 20));
  EXPECT_EQ(view->center(), (Point{50, 50}));
}

TEST(ViewTest, CoversItsFrameOnlyWhenNothingCanShowThrough) {
  auto view = makeView(Rect(10, 10, 100, 50));
  EXPECT_FALSE(view->coversItsFrame()) << "a clear background";
  view->setBackgroundColor(Color{1, 0, 0, 0.5});
  EXPECT_FALSE(view->coversItsFrame()) << "a translucent background";
  view->setBackgroundColor(Color::gray());
  EXPECT_TRUE(view->coversItsFrame());
  view->setAlpha(0.9);
  EXPECT_FALSE(view->coversItsFrame()) << "a translucent view";
  view->setAlpha(1);
  view->setHidden(true);
  EXPECT_FALSE(view->coversItsFrame()) << "a hidden view";

  // A clear container covers when an opaque subview spans all of its bounds.
  auto container = makeView(Rect(0, 0, 100, 50));
  container->addSubview(makeView(Rect(0, 0, 100, 50)));
  auto inner = makeView(Rect(-5, -5, 110, 60));
  inner->setBackgroundColor(Color::white());
  container->addSubview(inner);
  EXPECT_TRUE(container->coversItsFrame());
  inner->setFrame(Rect(0, 1, 100, 50));
  EXPECT_FALSE(container->coversItsFrame()) << "a row of the container is left bare";
}

TEST(ViewTest, ObserversHearEachRealChangeAndMayRemoveThemselves) {
  auto parent = makeView();
  auto child = makeView();
  std::vector<ViewChange> seen;
  View::ObserverId id =
      parent->addObserver([&](View&, ViewChange change) { seen.push_back(change); });
  parent->setAlpha(0.5);
  parent->setAlpha(0.5);  // unchanged: not told
  parent->setAlpha(7);    // clamped to 1
  EXPECT_EQ(parent->alpha(), 1.0);
  parent->setHidden(true);
  parent->setBackgroundColor(Color::white());
  parent->setUserInteractionEnabled(false);
  parent->addSubview(child);
  child->removeFromSuperview();
  parent->setFrame(Rect(0, 0, 1, 1));
  EXPECT_EQ(seen, (std::vector<ViewChange>{ViewChange::Alpha, ViewChange::Alpha, ViewChange::Hidden,
                                           ViewChange::BackgroundColor, ViewChange::UserInteraction,
                                           ViewChange::Subviews, ViewChange::Subviews,
                                           ViewChange::Frame}));

  View::ObserverId self = 0;
  int calls = 0;
  self = parent->addObserver([&](View& v, ViewChange) {
    ++calls;
    v.removeObserver(self);
  });
  parent->removeObserver(id);
  parent->setHidden(false);
  parent->setHidden(true);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace platform::ui
