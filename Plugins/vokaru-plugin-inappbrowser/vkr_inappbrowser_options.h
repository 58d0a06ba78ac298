#pragma once

#include <optional>
#include <string>
#include <string_view>

// The in-app browser's options, as the page gives them in one text of "key=value" pairs separated
// by "," ("location=no,toolbarposition=top,hidden=yes"). A plain value.
struct VKRInAppBrowserOptions {
  // Show the address label.
  bool location = true;
  // Show the toolbar.
  bool toolbar = true;
  // The close button's title instead of the system's Done item.
  std::optional<std::string> closebuttoncaption;
  // "top" (compared exactly) puts the toolbar at the top; anything else at the bottom.
  std::string toolbarposition = "bottom";
  // Delete every cookie (all, or the session-only ones) before opening, except those of the
  // ".^filecookies^" domain.
  bool clearcache = false;
  bool clearsessioncache = false;
  // "pagesheet" or "formsheet" (any case); else full screen.
  std::optional<std::string> presentationstyle;
  // "fliphorizontal" or "crossdissolve" (any case); else cover vertical.
  std::optional<std::string> transitionstyle;
  bool enableviewportscale = false;
  bool mediaplaybackrequiresuseraction = false;
  bool allowinlinemediaplayback = false;
  bool keyboarddisplayrequiresuseraction = true;
  bool suppressesincrementalrendering = false;
  // Load without showing the window.
  bool hidden = false;
  bool disallowoverscroll = false;

  // The defaults with the text's pairs applied in order. Keys are lower-cased (not trimmed);
  // pieces that are not exactly one "key=value" and unknown keys are skipped. A boolean option is
  // true for a non-zero number, "yes" (any case), or a text beginning, after white space, with
  // "Y", "y", "T", "t" or a digit 1 to 9. A text option keeps the value as written, also when it
  // reads as a number or yes/no.
  static VKRInAppBrowserOptions parseOptions(std::string_view text);

  bool operator==(const VKRInAppBrowserOptions&) const = default;
};
