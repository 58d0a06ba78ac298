// Network information end to end: a real page learns the connection type and hears its changes;
// it can ask for a vibration, which is accepted without an answer.
#include <gtest/gtest.h>

#include "VokaruLib/testing/page_host_test.h"
#include "platform/reachability/fake_network_monitor.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"

namespace {

using vokaru::testing::SharedPageHostTest;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="NetworkStatus"><param name="ios-package" value="VKRConnection" /></feature>
  <feature name="Vibration"><param name="ios-package" value="VKRVibration" /></feature>
</widget>)";

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script>
<script src="plugins/vokaru-plugin-network-information/network.js"></script>
<script src="plugins/vokaru-plugin-vibration/vibration.js"></script>
<script>
  var seen = [];
  vokaru.network.onchange = function (type) { seen.push(type); };
  document.addEventListener('offline', function () { seen.push('offline event'); });
  document.addEventListener('online', function () { seen.push('online event'); });
</script></head><body></body></html>)";

class NetworkPageTest : public SharedPageHostTest<NetworkPageTest> {
 public:
  static std::map<std::filesystem::path, std::string> bundleFiles() {
    return {{"config.xml", kConfig},
            {"www/index.html", kPage},
            {"www/plugins/vokaru-plugin-network-information/network.js",
             platform::testing::readFile(VKR_NETWORK_MODULE)},
            {"www/plugins/vokaru-plugin-vibration/vibration.js",
             platform::testing::readFile(VKR_VIBRATION_MODULE)}};
  }
  // The plugin watches the monitor in use when the page first asks: a fake one, from the start.
  static void SetUpTestSuite() {
    monitor_ =
        std::make_unique<platform::ScopedFakeNetworkMonitor>(platform::kReachabilityFlagReachable);
    SharedPageHostTest::SetUpTestSuite();
  }
  static void TearDownTestSuite() {
    SharedPageHostTest::TearDownTestSuite();
    monitor_.reset();
  }
  static inline std::unique_ptr<platform::ScopedFakeNetworkMonitor> monitor_;
};

TEST_F(NetworkPageTest, ThePageFollowsTheConnectionType) {
  ASSERT_NE(host_, nullptr);
  platform::FakeNetworkMonitor& monitor = **monitor_;
  ASSERT_TRUE(host_->waitFor("vokaru.network.type === 'wifi'"));
  monitor.injectChange(0);
  ASSERT_TRUE(host_->waitFor("seen.length === 2"));
  monitor.injectChange(platform::kReachabilityFlagReachable);
  ASSERT_TRUE(host_->waitFor("seen.length === 4"));
  EXPECT_EQ(host_->eval("JSON.stringify(seen)"),
            R"(["none","offline event","wifi","online event"])");
  // A watcher's callback does not keep the page waiting once it answered.
  EXPECT_EQ(host_->eval("vokaru.require('vokaru/exec').pendingCallbacks()"), "0");

  host_->eval("vokaru.vibration.vibrate(); vokaru.vibration.vibrate(); 'asked'");
  EXPECT_EQ(host_->eval("vokaru.network.getInfo().then(function (t) { seen.push(t); }); 'ok'"),
            "ok");
  EXPECT_TRUE(host_->waitFor("seen.length === 5"));
}

}  // namespace
