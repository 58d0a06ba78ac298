#include "platform/web/navigation_tracker.h"

#include <gtest/gtest.h>

namespace platform::web {
namespace {

using Request = NavigationTracker::Request;
using Verdict = NavigationTracker::Verdict;

constexpr const char* kPage = "file:///app/index.html";
constexpr const char* kOther = "https://example.test/other.html";

struct ClassificationCase {
  const char* name;
  bool viewStarted;
  Request request;
  bool provisional;  // a top-level load has started and not committed
  bool mainFrame;
  bool samePage;
};

TEST(NavigationTrackerTest, ClassifiesTopLevelAndFrameNavigations) {
  const ClassificationCase cases[] = {
      {"load started by the view", true, {kOther, kOther}, false, true, false},
      {"view started another URL", true, {kOther, kPage}, false, false, false},
      {"page's link", false, {kOther, kPage, NavigationType::LinkClicked}, false, false, false},
      {"history step", false, {kOther, kPage, NavigationType::BackForward}, false, true, false},
      {"reload", false, {kPage, kPage, NavigationType::Reload}, false, true, false},
      {"new window", false, {kOther, kPage, NavigationType::LinkClicked, true}, false, true, false},
      {"redirect of an uncommitted load",
       false,
       {kOther, kPage, {}, false, true},
       true,
       true,
       false},
      {"redirect after commit", false, {kOther, kPage, {}, false, true}, false, false, false},
      {"fragment jump", false, {"file:///app/index.html#top", kPage}, false, false, true},
      {"fragment of another page", false, {"file:///app/b.html#top", kPage}, false, false, false},
  };
  for (const ClassificationCase& c : cases) {
    SCOPED_TRACE(c.name);
    NavigationTracker tracker;
    if (c.provisional) tracker.loadStarted("");
    if (c.viewStarted) tracker.viewStartedLoad();
    NavigationTracker::Proposal proposal = tracker.propose(c.request);
    EXPECT_EQ(proposal.action.mainFrame, c.mainFrame);
    EXPECT_EQ(proposal.samePage, c.samePage);
    EXPECT_EQ(proposal.action.request.url, c.request.target);
    EXPECT_EQ(proposal.action.request.mainDocumentURL,
              c.mainFrame ? c.request.target : c.request.current);
    EXPECT_EQ(proposal.action.type, c.request.type);
  }
}

TEST(NavigationTrackerTest, AViewStartedLoadReportsItsStartAndEndOnce) {
  NavigationTracker tracker;
  tracker.viewStartedLoad();
  NavigationTracker::Proposal proposal = tracker.propose({kPage, kPage});
  EXPECT_TRUE(proposal.startedByView);
  tracker.beginDecision(proposal);
  EXPECT_EQ(tracker.decided(proposal, true), Verdict::Allow);
  EXPECT_TRUE(tracker.loadStarted(kPage));
  EXPECT_FALSE(tracker.awaitingMainResource());
  tracker.committed();
  EXPECT_TRUE(tracker.loadFinished());
  // The flag was used up: the same URL asked again is a frame's navigation.
  EXPECT_FALSE(tracker.propose({kPage, kPage}).action.mainFrame);
}

TEST(NavigationTrackerTest, APagesOwnTopLevelNavigationIsAskedAgainAtItsMainResource) {
  NavigationTracker tracker;
  NavigationTracker::Proposal asFrame =
      tracker.propose({kOther, kPage, NavigationType::FormSubmitted});
  EXPECT_FALSE(asFrame.action.mainFrame);
  tracker.beginDecision(asFrame);
  EXPECT_EQ(tracker.decided(asFrame, true), Verdict::Allow);
  // The engine starts it in the main frame, still showing the old URL.
  EXPECT_FALSE(tracker.loadStarted(kPage));
  EXPECT_TRUE(tracker.awaitingMainResource());
  std::optional<NavigationAction> asked = tracker.mainResourceStarted(kOther);
  ASSERT_TRUE(asked);
  EXPECT_TRUE(asked->mainFrame);
  EXPECT_EQ(asked->type, NavigationType::FormSubmitted);  // remembered from the frame question
  EXPECT_EQ(asked->request.mainDocumentURL, kOther);
  EXPECT_FALSE(tracker.mainResourceStarted(kOther));  // asked once only
  EXPECT_TRUE(tracker.loadFinished());
}

TEST(NavigationTrackerTest, ALoadRefusedAtItsMainResourceEndsUnreported) {
  NavigationTracker tracker;
  EXPECT_FALSE(tracker.loadStarted(kPage));
  std::optional<NavigationAction> asked = tracker.mainResourceStarted(kOther);
  ASSERT_TRUE(asked);
  EXPECT_EQ(asked->type, NavigationType::Other);  // the engine started it unasked
  tracker.refusedAtMainResource();
  EXPECT_FALSE(tracker.loadFailed());
  EXPECT_FALSE(tracker.loadFinished());
  // The next load is reported again.
  tracker.viewStartedLoad();
  tracker.decided(tracker.propose({kPage, kPage}), true);
  EXPECT_TRUE(tracker.loadStarted(kPage));
  EXPECT_TRUE(tracker.loadFinished());
}

TEST(NavigationTrackerTest, AFailureIsReportedOnceAndTheEnginesFinishAfterItIsSwallowed) {
  NavigationTracker tracker;
  tracker.loadStarted(kPage);
  EXPECT_TRUE(tracker.loadFailed());
  EXPECT_FALSE(tracker.loadFailed());
  EXPECT_FALSE(tracker.loadFinished());
  EXPECT_TRUE(tracker.loadFinished());  // a later load's finish counts again
}

TEST(NavigationTrackerTest, AnAbandonedLoadsOwnEndIsSwallowed) {
  NavigationTracker tracker;
  tracker.viewStartedLoad();
  tracker.decided(tracker.propose({kOther, kOther}), true);
  EXPECT_TRUE(tracker.loadStarted(kOther));
  tracker.loadAbandoned();
  EXPECT_FALSE(tracker.loadFailed());
  EXPECT_FALSE(tracker.loadFinished());
  // No longer provisional: a redirect now is a frame's.
  EXPECT_FALSE(tracker.propose({kPage, kOther, {}, false, true}).action.mainFrame);
}

TEST(NavigationTrackerTest, ANewWindowLoadsHereAndIsNotAskedTwice) {
  NavigationTracker tracker;
  NavigationTracker::Proposal window =
      tracker.propose({kOther, kPage, NavigationType::LinkClicked, true});
  EXPECT_EQ(tracker.decided(window, true), Verdict::LoadHere);
  // The view loads the target itself: its question comes back as top-level and preapproved.
  NavigationTracker::Proposal here = tracker.propose({kOther, kOther});
  EXPECT_TRUE(here.action.mainFrame);
  EXPECT_TRUE(here.preapproved);
  EXPECT_TRUE(tracker.loadStarted(kOther));
  // Used once only.
  EXPECT_FALSE(tracker.propose({kOther, kOther, NavigationType::Reload}).preapproved);
}

TEST(NavigationTrackerTest, RefusalsLeaveNoTraceAndSamePageDecisionsBlockScripts) {
  NavigationTracker tracker;
  NavigationTracker::Proposal window = tracker.propose({kOther, kPage, {}, true});
  EXPECT_EQ(tracker.decided(window, false), Verdict::Refuse);
  EXPECT_FALSE(tracker.propose({kOther, kOther}).preapproved);

  NavigationTracker::Proposal jump = tracker.propose({"file:///app/index.html#a", kPage});
  tracker.beginDecision(jump);
  EXPECT_TRUE(tracker.awaitingSamePageDecision());
  EXPECT_EQ(tracker.decided(jump, false), Verdict::Refuse);
  EXPECT_FALSE(tracker.awaitingSamePageDecision());

  // A refused top-level navigation is not allowed when the engine starts loading.
  tracker.viewStartedLoad();
  NavigationTracker::Proposal ours = tracker.propose({kOther, kOther});
  EXPECT_EQ(tracker.decided(ours, false), Verdict::Refuse);
  EXPECT_FALSE(tracker.loadStarted(kOther));
}

}  // namespace
}  // namespace platform::web
