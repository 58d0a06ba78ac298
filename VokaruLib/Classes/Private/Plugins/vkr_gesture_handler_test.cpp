#include "VokaruLib/Classes/Private/Plugins/vkr_gesture_handler.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "VokaruLib/testing/test_controller.h"
#include "platform/testing/log_capture.h"

namespace {

using platform::ui::GestureRecognizerState;

std::shared_ptr<VKRGestureHandler> handler(vokaru::testing::TestController& test) {
  return std::dynamic_pointer_cast<VKRGestureHandler>(
      test.controller->getCommandInstance("Gesture"));
}

std::string config(const std::string& preferences) {
  return "<widget>" + preferences +
         R"(<feature name="Gesture"><param name="ios-package" value="VKRGestureHandler"/></feature>
         </widget>)";
}

TEST(VKRGestureHandlerTest, TheRecognizerFollowsThePreferences) {
  struct Case {
    std::string preferences;
    std::optional<float> pressDuration;  // nothing: no recognizer
  };
  const std::vector<Case> cases = {
      {"", std::nullopt},
      {R"(<preference name="SuppressesLongPressGesture" value="false"/>)", std::nullopt},
      {R"(<preference name="SuppressesLongPressGesture" value="true"/>)", 0.45f},
      {R"(<preference name="SuppressesLongPressGesture" value="true"/>
          <preference name="Suppresses3DTouchGesture" value="true"/>)",
       0.05f},
  };
  platform::testing::LogCapture log;
  for (const Case& c : cases) {
    vokaru::testing::TestController test(config(c.preferences));
    auto recognizer = handler(test)->lpgr();
    ASSERT_EQ(recognizer != nullptr, c.pressDuration.has_value()) << c.preferences;
    if (!recognizer) continue;
    EXPECT_EQ(recognizer->minimumPressDuration(), double(*c.pressDuration));
    EXPECT_EQ(recognizer->allowableMovement(), 100.0);
  }
  // The web view holds no content view to put it on.
  const std::vector<std::string> lines = log.lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "No webview subviews found, not applying the longpress fix."),
            2);
}

TEST(VKRGestureHandlerTest, ALongPressIsIgnoredOncePerPress) {
  vokaru::testing::TestController test(
      config(R"(<preference name="suppresseslongpressgesture" value="YES"/>)"));
  auto recognizer = handler(test)->lpgr();
  ASSERT_NE(recognizer, nullptr);
  platform::testing::LogCapture log;
  for (auto state : {GestureRecognizerState::Began, GestureRecognizerState::Changed,
                     GestureRecognizerState::Ended, GestureRecognizerState::Began}) {
    recognizer->setState(state);
  }
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>(
                2, "Ignoring a longpress in order to suppress the magnifying glass.")));
}

}  // namespace
