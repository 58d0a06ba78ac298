#include "VokaruLib/testing/test_controller.h"

#include <cstdlib>

#include "platform/foundation/log.h"

namespace vokaru::testing {

TestController::TestController(std::string_view configXML) {
  app.writeBundleFile("config.xml", configXML);
  platform::Result<std::shared_ptr<VKRViewController>> made = VKRViewController::create();
  if (!made.ok()) {
    platform::log(made.error().description());
    std::abort();  // a broken fixture: nothing after it could mean anything
  }
  controller = *made;
  controller->setWebViewEngine(engine);
}

// The controller goes before the app whose bundle it was made from.
TestController::~TestController() { controller.reset(); }

}  // namespace vokaru::testing
