#include "VokaruLib/Classes/Public/vkr_plugin.h"

#include <gtest/gtest.h>

#include "VokaruLib/testing/fake_engine.h"
#include "platform/dispatch/notification_center.h"
#include "platform/testing/png.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"

namespace {

class GreeterPlugin : public VKRPlugin {
 public:
  explicit GreeterPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {
    addAction("hello", &GreeterPlugin::hello);
    addAction("bye", &GreeterPlugin::bye);
  }
  void onReset() override { ++resets; }
  void onAppTerminate() override { events.push_back("terminate"); }
  void onMemoryWarning() override { events.push_back("memory warning"); }
  void handleOpenURL(const platform::Notification& notification) override {
    if (const auto* url = notification.objectAs<std::string>()) openedURLs.push_back(*url);
  }

  std::vector<std::string> calls;
  std::vector<std::string> openedURLs;
  int resets = 0;
  std::vector<std::string> events;

 protected:
  void hello(const VKRInvokedUrlCommand& command) {
    calls.push_back("hello " + command.methodName());
  }
  virtual void bye(const VKRInvokedUrlCommand&) { calls.push_back("bye"); }
};

// A subclass keeps its base's actions, adds its own and overrides members.
class LoudGreeterPlugin : public GreeterPlugin {
 public:
  explicit LoudGreeterPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : GreeterPlugin(std::move(engine)) {
    addAction("shout", &LoudGreeterPlugin::shout);
  }

 private:
  void bye(const VKRInvokedUrlCommand&) override { calls.push_back("BYE"); }
  void shout(const VKRInvokedUrlCommand&) { calls.push_back("shout"); }
};

VKRInvokedUrlCommand command(const std::string& action) {
  return VKRInvokedUrlCommand({}, "id", "Greeter", action);
}

TEST(VKRPluginTest, ActionsRunOnlyThroughTheClassesTable) {
  LoudGreeterPlugin plugin(nullptr);
  for (const char* action : {"hello", "bye", "shout"}) {
    EXPECT_TRUE(plugin.respondsToAction(action)) << action;
    EXPECT_TRUE(plugin.performAction(action, command(action))) << action;
  }
  EXPECT_EQ(plugin.calls, (std::vector<std::string>{"hello hello", "BYE", "shout"}));
  for (const char* action : {"pluginInitialize", "onReset", "dispose", "Hello", ""}) {
    EXPECT_FALSE(plugin.respondsToAction(action)) << action;
    EXPECT_FALSE(plugin.performAction(action, command(action))) << action;
  }
  EXPECT_EQ(plugin.calls.size(), 3u);
}

TEST(VKRPluginTest, PluginsAreFoundByClassName) {
  EXPECT_TRUE(VKRPluginRegistry::instance().contains("LoudGreeterPlugin"));
  std::shared_ptr<VKRPlugin> plugin =
      VKRPluginRegistry::instance().create("LoudGreeterPlugin", nullptr);
  ASSERT_NE(plugin, nullptr);
  EXPECT_TRUE(plugin->respondsToAction("shout"));
  EXPECT_EQ(VKRPluginRegistry::instance().create("NoSuchClass", nullptr), nullptr);
}

TEST(VKRPluginTest, HearsTheApplicationAndOpenURLRequestsWhileItLives) {
  auto& center = platform::NotificationCenter::defaultCenter();
  {
    GreeterPlugin plugin(nullptr);
    center.post(VKRPluginHandleOpenURLNotification, nullptr, {}, std::string("myapp://x"));
    center.post(platform::ui::kApplicationDidReceiveMemoryWarningNotification);
    center.post(platform::ui::kApplicationWillTerminateNotification);
    EXPECT_EQ(plugin.openedURLs, (std::vector<std::string>{"myapp://x"}));
    EXPECT_EQ(plugin.events, (std::vector<std::string>{"memory warning", "terminate"}));
  }
  center.post(VKRPluginHandleOpenURLNotification, nullptr, {}, std::string("myapp://y"));
  center.post(platform::ui::kApplicationWillTerminateNotification);
}

TEST(VKRPluginTest, ResetsOnlyWhenItsOwnWebViewStartsAPage) {
  auto engine = std::make_shared<vokaru::testing::FakeEngine>();
  auto otherEngine = std::make_shared<vokaru::testing::FakeEngine>();
  GreeterPlugin plugin(engine);
  GreeterPlugin engineless(nullptr);
  EXPECT_EQ(plugin.webView(), engine->engineWebView());
  EXPECT_EQ(engineless.webView(), nullptr);

  auto& center = platform::NotificationCenter::defaultCenter();
  center.post(VKRPluginResetNotification, otherEngine->engineWebView().get());
  EXPECT_EQ(plugin.resets, 0);
  center.post(VKRPluginResetNotification, engine->engineWebView().get());
  EXPECT_EQ(plugin.resets, 1);
  EXPECT_EQ(engineless.resets, 0);
}

}  // namespace

VKR_REGISTER_PLUGIN(GreeterPlugin);
VKR_REGISTER_PLUGIN(LoudGreeterPlugin);

// Outside the anonymous namespace, so its class name is plain, as config.xml would name it.
class VKRResourceTestPlugin : public VKRPlugin {
 public:
  VKRResourceTestPlugin() : VKRPlugin(nullptr) {}
};

namespace {

TEST(VKRPluginTest, ResourcesComeFromTheBundleNamedAfterTheClass) {
  platform::testing::TestApp app;
  app.writeBundleFile("VKRResourceTestPlugin.bundle/Base.lproj/Localizable.strings",
                      "\"title\" = \"Resources\";");
  app.writeBundleFile("VKRResourceTestPlugin.bundle/icon.png", platform::testing::pngOf(1, 1, 0));

  VKRResourceTestPlugin plugin;
  EXPECT_EQ(plugin.className(), "VKRResourceTestPlugin");
  EXPECT_EQ(plugin.pluginLocalizedString("title"), "Resources");
  EXPECT_EQ(plugin.pluginLocalizedString("absent"), "absent");
  std::optional<platform::ui::Image> icon = plugin.pluginImageResource("icon");
  ASSERT_TRUE(icon.has_value());
  EXPECT_EQ(icon->width, 1);
  EXPECT_FALSE(plugin.pluginImageResource("missing").has_value());
}

TEST(VKRPluginTest, AppDelegateIsTheApplications) {
  auto delegate = std::make_shared<platform::ui::ApplicationDelegate>();
  platform::ui::Application::shared().setDelegate(delegate);
  EXPECT_EQ(VKRResourceTestPlugin().appDelegate(), delegate);
  platform::ui::Application::shared().setDelegate(nullptr);
}

}  // namespace
