#include "Plugins/vokaru-plugin-network-information/vkr_connection.h"

#include <gtest/gtest.h>

#include "VokaruLib/testing/recording_command_delegate.h"
#include "platform/reachability/fake_network_monitor.h"
#include "platform/reachability/radio_access_technology.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"

namespace {

using platform::RadioAccessTechnology;
using platform::Value;
using vokaru::testing::RecordingCommandDelegate;

constexpr platform::ReachabilityFlags kWiFi = platform::kReachabilityFlagReachable;
constexpr platform::ReachabilityFlags kCellular =
    platform::kReachabilityFlagReachable | platform::kReachabilityFlagIsWWAN;
constexpr platform::ReachabilityFlags kOffline = 0;

class VKRConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ui::Application::resetShared();
    plugin_->setCommandDelegate(delegate_);
    plugin_->pluginInitialize();
  }
  void TearDown() override { platform::setCurrentRadioAccessTechnology(std::nullopt); }

  // The types sent to the page so far.
  std::vector<std::string> sent() {
    platform::testing::drainMainLoop();
    std::vector<std::string> types;
    for (const auto& answer : delegate_->sent()) {
      EXPECT_TRUE(answer.result.keepCallback());
      types.push_back(answer.result.message().stringOr("?"));
    }
    return types;
  }
  void change(platform::ReachabilityFlags flags) {
    monitor_->injectChange(flags);
    platform::testing::drainMainLoop();
  }
  void ask() {
    plugin_->performAction("getConnectionInfo",
                           VKRInvokedUrlCommand({}, "Net1", "NetworkStatus", "getConnectionInfo"));
  }

  platform::testing::TestApp app_;
  platform::ScopedFakeNetworkMonitor monitor_{kWiFi};
  std::shared_ptr<RecordingCommandDelegate> delegate_ =
      std::make_shared<RecordingCommandDelegate>();
  std::shared_ptr<VKRConnection> plugin_ = std::make_shared<VKRConnection>(nullptr);
};

TEST_F(VKRConnectionTest, AnswersTheTypeAndEveryChangeToTheSameCallback) {
  ask();
  change(kOffline);
  change(kOffline);  // the same type again sends nothing
  change(kWiFi);
  EXPECT_EQ(sent(), (std::vector<std::string>{"wifi", "none", "wifi"}));
  for (const auto& answer : delegate_->sent()) EXPECT_EQ(answer.callbackId, "Net1");
}

TEST_F(VKRConnectionTest, ChangesBeforeThePageAsksHaveNoCallback) {
  change(kOffline);
  EXPECT_EQ(plugin_->connectionType(), "none");
  ASSERT_EQ(sent(), std::vector<std::string>{"none"});
  EXPECT_FALSE(delegate_->sent()[0].callbackId.has_value());
}

TEST_F(VKRConnectionTest, CellularTypesFollowTheRadio) {
  struct Case {
    platform::ReachabilityFlags flags;
    std::optional<RadioAccessTechnology> radio;
    const char* type;
  };
  const Case cases[] = {
      {kWiFi, RadioAccessTechnology::LTE, "wifi"},
      {kCellular, RadioAccessTechnology::LTE, "4g"},
      {kCellular, RadioAccessTechnology::Edge, "2g"},
      {kCellular, RadioAccessTechnology::HSDPA, "3g"},
      {kCellular, RadioAccessTechnology::EHRPD, "3g"},
      {kCellular, RadioAccessTechnology::Other, "cellular"},
      {kCellular, std::nullopt, "cellular"},
      {kCellular | platform::kReachabilityFlagConnectionRequired, RadioAccessTechnology::LTE,
       "none"},
  };
  for (const Case& c : cases) {
    platform::setCurrentRadioAccessTechnology(c.radio);
    monitor_->setFlags(c.flags);
    EXPECT_EQ(
        VKRConnection::w3cConnectionTypeFor(*VKRReachability::reachabilityForInternetConnection()),
        c.type);
    EXPECT_EQ(VKRConnection::isCellularConnection(c.type),
              std::string(c.type) != "wifi" && std::string(c.type) != "none");
  }
}

TEST_F(VKRConnectionTest, ARadioChangeAloneReachesThePageAtOnce) {
  platform::setCurrentRadioAccessTechnology(RadioAccessTechnology::HSDPA);
  change(kCellular);
  ask();
  platform::setCurrentRadioAccessTechnology(RadioAccessTechnology::LTE);
  EXPECT_EQ(sent(), (std::vector<std::string>{"3g", "3g", "4g"}));
}

TEST_F(VKRConnectionTest, ReturningFromTheBackgroundSendsTheNewTypeOnce) {
  ask();
  auto& application = platform::ui::Application::shared();
  application.becomeActive();
  application.enterBackground();
  platform::setCurrentRadioAccessTechnology(RadioAccessTechnology::LTE);
  monitor_->setFlags(kCellular);
  change(kCellular);
  EXPECT_EQ(sent(), std::vector<std::string>{"wifi"});
  application.enterForeground();
  application.becomeActive();
  EXPECT_EQ(sent(), (std::vector<std::string>{"wifi", "4g"}));
}

}  // namespace
