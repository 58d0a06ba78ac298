#pragma once

#include <memory>
#include <string_view>

#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/testing/fake_engine.h"
#include "platform/testing/test_app.h"

namespace vokaru::testing {

// A host controller of a throw-away app whose bundle holds the given config.xml, with a fake
// engine.
struct TestController {
  explicit TestController(std::string_view configXML);
  ~TestController();

  platform::testing::TestApp app;
  std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
  std::shared_ptr<VKRViewController> controller;
};

}  // namespace vokaru::testing
