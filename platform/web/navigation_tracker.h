#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/web/navigation.h"

namespace platform::web {

// Tells top-level navigations from frame navigations for an engine that asks about navigations
// without telling frames apart, and decides which of the engine's load events reach the delegate.
// Engine-neutral: a backend reports what it observes as events and does what the answers say.
//
// A navigation counts as top-level when the view started it (a load, reload or history step), when
// it opens a new window, when it is a history step or a reload, or when it redirects a top-level
// load that has not committed. Anything else is first taken for a frame's; if the engine then
// starts loading it in the main frame, the view asks about it again as top-level before anything
// of it shows (mainResourceStarted). A load refused at that point, or one whose outcome was
// already reported, has its own finish and failure events swallowed.
// Main thread only (owned by its web view).
class NavigationTracker {
 public:
  // What the engine says of a navigation it asks about.
  struct Request {
    std::string target;
    std::string current;  // the view's URL when asked
    NavigationType type = NavigationType::Other;
    bool newWindow = false;
    bool redirect = false;
  };

  // How to ask the delegate about a navigation, and what was found about it.
  struct Proposal {
    NavigationAction action;     // request URL, main-document URL, type and frame filled in
    bool startedByView = false;  // a load this view started
    // A new-window navigation approved earlier and now loading here: allowed without asking.
    bool preapproved = false;
    // A jump within the current document: the engine blocks the page until it is answered.
    bool samePage = false;
    bool newWindow = false;
  };

  // What the backend does with the engine's question once the delegate answered.
  enum class Verdict {
    Allow,
    Refuse,
    // Pages open no other windows: refuse the new window and load its target in this view.
    LoadHere,
  };

  // The view starts a load, a reload or a history step.
  void viewStartedLoad() { startedByView_ = true; }

  // The engine asks about a navigation. Unless preapproved, the backend asks the delegate with
  // proposal.action between beginDecision and decided.
  Proposal propose(const Request& request);
  void beginDecision(const Proposal& proposal);
  Verdict decided(const Proposal& proposal, bool allowed);
  // True while a same-page decision is being asked: the page runs no script until it is answered.
  bool awaitingSamePageDecision() const { return samePageDecisions_ > 0; }

  // The engine started a top-level load of `current`. Answers whether it was allowed as top-level
  // (report its start now); if not, the start waits for its main resource.
  bool loadStarted(const std::string& current);
  bool awaitingMainResource() const { return awaitingMainResource_; }
  // The main resource of a load that was awaiting it started: answers the top-level question to
  // ask (nothing if none awaits).
  std::optional<NavigationAction> mainResourceStarted(const std::string& target);
  // The delegate refused the top-level load asked about by mainResourceStarted; the backend stops
  // it and its end is not reported.
  void refusedAtMainResource() { swallowLoadEnd_ = true; }
  void committed() { provisional_ = false; }
  // The view gave up on the current load (its time limit passed) and reports the failure itself.
  void loadAbandoned();
  // The engine's finish and failure of the current load: each answers whether to report it.
  bool loadFinished();
  bool loadFailed();

 private:
  bool startedByView_ = false;      // a load/reload/history step awaits its decision
  std::string allowedTopLevelURL_;  // allowed as top-level, awaiting its start
  std::string preapprovedURL_;      // a new-window navigation allowed and loaded here
  std::map<std::string, NavigationType> frameNavigationTypes_;  // recent frame navigations
  bool provisional_ = false;  // a top-level load started and has not committed
  // A load the page started in the main frame: the engine shows its URL only with its main
  // resource, so the top-level question (and the start) wait for that.
  bool awaitingMainResource_ = false;
  // The current top-level load's outcome was reported (or it was refused at its start): the
  // engine's own failure and finish for it are not passed on.
  bool swallowLoadEnd_ = false;
  int samePageDecisions_ = 0;
};

}  // namespace platform::web
