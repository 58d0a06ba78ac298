#pragma once

#include <memory>
#include <string_view>

#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/testing/fake_engine.h"
#include "platform/testing/temp_dir.h"

namespace vokaru::testing {

// A host controller over a temporary bundle holding the given config.xml, with a fake engine.
struct TestController {
  explicit TestController(std::string_view configXML);

  platform::testing::TempDir bundle;
  std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
  std::shared_ptr<VKRViewController> controller;
};

}  // namespace vokaru::testing
