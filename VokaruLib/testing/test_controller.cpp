#include "VokaruLib/testing/test_controller.h"

#include <cstdlib>

#include "platform/foundation/log.h"

namespace vokaru::testing {

TestController::TestController(std::string_view configXML) {
  platform::testing::writeFile(bundle / "config.xml", configXML);
  platform::Result<std::shared_ptr<VKRViewController>> made =
      VKRViewController::create(bundle.path());
  if (!made.ok()) {
    platform::log(made.error().description());
    std::abort();  // a broken fixture: nothing after it could mean anything
  }
  controller = *made;
  controller->setWebViewEngine(engine);
}

}  // namespace vokaru::testing
