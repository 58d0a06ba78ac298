#include "platform/testing/test_app.h"

#include <stdexcept>

#include "platform/foundation/property_list.h"
#include "platform/storage/user_defaults.h"

namespace platform::testing {

TestApp::TestApp(std::string bundleIdentifier, Dictionary info)
    : options_{root_ / "App.bundle", root_ / "home", root_ / "keychain"} {
  std::shared_ptr<const AppEnvironment> previous = AppEnvironment::current();
  previous_ = {previous->bundlePath(), previous->appHome(), previous->keychainFolder()};
  info.set("CFBundleIdentifier", std::move(bundleIdentifier));
  Result<Bytes> plist = toPropertyList(Value(std::move(info)), PropertyListFormat::XML);
  if (!plist) throw std::runtime_error(plist.error().description());
  writeBundleFile("Info.plist", stringOf(*plist));
  AppEnvironment::configure(options_);
}

TestApp::~TestApp() {
  UserDefaults::resetStandard();
  AppEnvironment::configure(previous_);
}

void TestApp::writeBundleFile(const std::filesystem::path& relative,
                              std::string_view content) const {
  writeFile(options_.bundle / relative, content);
}

}  // namespace platform::testing
