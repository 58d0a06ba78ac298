#include "platform/web/navigation_tracker.h"

namespace platform::web {

namespace {

// How many recent frame navigations are remembered for their navigation type.
constexpr size_t kRememberedFrameNavigations = 32;

std::string withoutFragment(const std::string& url) { return url.substr(0, url.find('#')); }

bool isSamePage(const std::string& target, const std::string& current) {
  return target.find('#') != std::string::npos &&
         withoutFragment(target) == withoutFragment(current);
}

}  // namespace

NavigationTracker::Proposal NavigationTracker::propose(const Request& request) {
  Proposal proposal;
  proposal.newWindow = request.newWindow;
  // A load this view started shows its URL as the view's at once.
  proposal.startedByView = startedByView_ && request.target == request.current;
  if (proposal.startedByView) startedByView_ = false;
  NavigationAction& action = proposal.action;
  action.request.url = request.target;
  action.type = request.type;
  action.mainFrame = request.newWindow || proposal.startedByView ||
                     request.type == NavigationType::BackForward ||
                     request.type == NavigationType::Reload || (provisional_ && request.redirect);
  action.request.mainDocumentURL = action.mainFrame ? request.target : request.current;
  if (action.mainFrame && !request.newWindow && !preapprovedURL_.empty() &&
      request.target == preapprovedURL_) {
    preapprovedURL_.clear();
    allowedTopLevelURL_ = request.target;
    proposal.preapproved = true;
  }
  proposal.samePage = !action.mainFrame && isSamePage(request.target, request.current);
  return proposal;
}

void NavigationTracker::beginDecision(const Proposal& proposal) {
  if (proposal.samePage) ++samePageDecisions_;
}

NavigationTracker::Verdict NavigationTracker::decided(const Proposal& proposal, bool allowed) {
  if (proposal.samePage) --samePageDecisions_;
  if (!allowed) return Verdict::Refuse;
  const std::string& target = proposal.action.request.url;
  if (proposal.newWindow) {
    preapprovedURL_ = target;
    startedByView_ = true;
    return Verdict::LoadHere;
  }
  if (proposal.action.mainFrame) {
    allowedTopLevelURL_ = target;
  } else if (!proposal.samePage) {
    if (frameNavigationTypes_.size() >= kRememberedFrameNavigations) frameNavigationTypes_.clear();
    frameNavigationTypes_[target] = proposal.action.type;
  }
  return Verdict::Allow;
}

bool NavigationTracker::loadStarted(const std::string& current) {
  provisional_ = true;
  swallowLoadEnd_ = false;
  startedByView_ = false;
  const bool allowed = !allowedTopLevelURL_.empty() && allowedTopLevelURL_ == current;
  allowedTopLevelURL_.clear();
  if (!allowed) awaitingMainResource_ = true;
  return allowed;
}

std::optional<NavigationAction> NavigationTracker::mainResourceStarted(const std::string& target) {
  if (!awaitingMainResource_) return std::nullopt;
  awaitingMainResource_ = false;
  // A top-level navigation first taken for a frame's (or one the engine started unasked).
  NavigationAction action;
  action.request.url = target;
  action.request.mainDocumentURL = target;
  auto known = frameNavigationTypes_.find(target);
  action.type = known != frameNavigationTypes_.end() ? known->second : NavigationType::Other;
  action.mainFrame = true;
  return action;
}

void NavigationTracker::loadAbandoned() {
  // The engine's cancellation of the stopped load is the view's, not news to the delegate.
  swallowLoadEnd_ = true;
  provisional_ = false;
}

bool NavigationTracker::loadFinished() {
  provisional_ = false;
  awaitingMainResource_ = false;
  if (swallowLoadEnd_) {
    swallowLoadEnd_ = false;
    return false;
  }
  return true;
}

bool NavigationTracker::loadFailed() {
  provisional_ = false;
  awaitingMainResource_ = false;
  if (swallowLoadEnd_) return false;
  swallowLoadEnd_ = true;  // the engine's finish that follows a failure
  return true;
}

}  // namespace platform::web
