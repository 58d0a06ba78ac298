#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser_options.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Options = VKRInAppBrowserOptions;

TEST(VKRInAppBrowserOptionsTest, TheEmptyTextGivesTheDefaults) {
  const Options options = Options::parseOptions("");
  EXPECT_TRUE(options.location);
  EXPECT_TRUE(options.toolbar);
  EXPECT_EQ(options.toolbarposition, "bottom");
  EXPECT_TRUE(options.keyboarddisplayrequiresuseraction);
  EXPECT_FALSE(options.closebuttoncaption.has_value());
  EXPECT_FALSE(options.presentationstyle.has_value());
  EXPECT_FALSE(options.transitionstyle.has_value());
  EXPECT_FALSE(options.hidden || options.clearcache || options.clearsessioncache ||
               options.enableviewportscale || options.mediaplaybackrequiresuseraction ||
               options.allowinlinemediaplayback || options.suppressesincrementalrendering ||
               options.disallowoverscroll);
  EXPECT_EQ(options, Options());
}

struct Case {
  const char* text;
  std::function<void(Options&)> expected;  // applied to the defaults
};

TEST(VKRInAppBrowserOptionsTest, ParsesPairsAsThePageWritesThem) {
  const Case cases[] = {
      {"LOCATION=NO", [](Options& o) { o.location = false; }},
      {"location=No,toolbar=nO", [](Options& o) { o.location = o.toolbar = false; }},
      {"closebuttoncaption=Done", [](Options& o) { o.closebuttoncaption = "Done"; }},
      // A key is not trimmed: "location " is no option.
      {"location = no", [](Options&) {}},
      // The window compares the position exactly, so "TOP" stays as written.
      {"toolbarposition=TOP", [](Options& o) { o.toolbarposition = "TOP"; }},
      {"toolbarposition=top", [](Options& o) { o.toolbarposition = "top"; }},
      {"hidden=1", [](Options& o) { o.hidden = true; }},
      {"hidden=true", [](Options& o) { o.hidden = true; }},
      {"hidden=0.5", [](Options& o) { o.hidden = true; }},
      {"hidden=yes,hidden=0", [](Options&) {}},
      {"hidden=yes,hidden=off", [](Options&) {}},
      {"hidden= Tuesday", [](Options& o) { o.hidden = true; }},
      {"keyboarddisplayrequiresuseraction=-0",
       [](Options& o) { o.keyboarddisplayrequiresuseraction = false; }},
      {"location=no,location=yes", [](Options&) {}},
      // Malformed pieces and unknown keys are skipped; the rest still count.
      {"a,b=c=d,,colour=red,clearcache=yes", [](Options& o) { o.clearcache = true; }},
      {"presentationstyle=PageSheet,transitionstyle=crossDissolve",
       [](Options& o) {
         o.presentationstyle = "PageSheet";
         o.transitionstyle = "crossDissolve";
       }},
      // Text options keep what was written, also a number or yes/no.
      {"closebuttoncaption=1", [](Options& o) { o.closebuttoncaption = "1"; }},
      {"closebuttoncaption=YES", [](Options& o) { o.closebuttoncaption = "YES"; }},
      {"clearsessioncache=yes,disallowoverscroll=yes,enableviewportscale=yes,"
       "mediaplaybackrequiresuseraction=yes,allowinlinemediaplayback=yes,"
       "suppressesincrementalrendering=yes",
       [](Options& o) {
         o.clearsessioncache = o.disallowoverscroll = o.enableviewportscale = true;
         o.mediaplaybackrequiresuseraction = o.allowinlinemediaplayback = true;
         o.suppressesincrementalrendering = true;
       }},
  };
  for (const Case& c : cases) {
    Options expected;
    c.expected(expected);
    EXPECT_EQ(Options::parseOptions(c.text), expected) << c.text;
  }
}

}  // namespace
