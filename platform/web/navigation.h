#pragma once

#include "platform/web/url_request.h"

namespace platform::web {

// Why a navigation happens. The values are the ones pages and stored data know.
enum class NavigationType {
  LinkClicked = 0,
  FormSubmitted = 1,
  BackForward = 2,
  Reload = 3,
  FormResubmitted = 4,
  Other = 5,
};

// A navigation the web view is about to perform, as its delegate is asked about it.
struct NavigationAction {
  // The request's URL and main-document URL (the same for a top-level navigation).
  URLRequest request;
  NavigationType type = NavigationType::Other;
  // True for the top-level document; false for a frame's navigation.
  bool mainFrame = true;
};

}  // namespace platform::web
