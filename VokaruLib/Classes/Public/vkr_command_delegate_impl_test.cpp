#include "VokaruLib/Classes/Public/vkr_command_delegate_impl.h"

#include <gtest/gtest.h>

#include <atomic>

#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/dispatch/queue.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"

namespace {

using platform::Value;
using platform::testing::drainMainLoop;
using platform::testing::runMainLoopUntil;

// Answers its command with its first argument, from inside the action.
class AnswerPlugin : public VKRPlugin {
 public:
  explicit AnswerPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {
    addAction("answer", &AnswerPlugin::answer);
  }

 private:
  void answer(const VKRInvokedUrlCommand& command) {
    commandDelegate()->sendPluginResult(
        VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, "now"), command.callbackId());
  }
};
VKR_REGISTER_PLUGIN(AnswerPlugin);

constexpr const char* kConfig = R"(<widget>
  <preference name="Fullscreen" value="true" />
  <feature name="Answer"><param name="ios-package" value="AnswerPlugin" /></feature>
</widget>)";

class VKRCommandDelegateImplTest : public ::testing::Test {
 protected:
  VKRCommandDelegate& delegate() { return *test_.controller->commandDelegate(); }
  const std::vector<std::string>& scripts() { return test_.engine->scripts(); }

  vokaru::testing::TestController test_{kConfig};
};

TEST(VKRCommandDelegateImplCallbackIdTest, OnlyShortIdsOfSafeCharactersAreValid) {
  const std::pair<std::optional<std::string>, bool> cases[] = {
      {"Camera123", true},
      {"a.b_c-D9", true},
      {"", true},
      {std::string(100, 'x'), true},
      {std::string(101, 'x'), false},
      {"Camera 123", false},
      {"x'y", false},
      {"x\"y", false},
      {"x\\y", false},
      {"x\ny", false},
      {"caf\u00e9", false},
      {std::nullopt, false},
  };
  for (const auto& [id, valid] : cases) {
    EXPECT_EQ(VKRCommandDelegateImpl::isValidCallbackId(id), valid) << id.value_or("(none)");
  }
}

TEST_F(VKRCommandDelegateImplTest, ResultOutsideAnActionIsEvaluatedInALaterTurnAsTheCallbackLine) {
  VKRPluginResult result = VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, "It's \"done\"");
  result.setKeepCallbackAsBool(true);
  delegate().sendPluginResult(result, "Foo1");
  delegate().sendPluginResult(VKRPluginResult::resultWithStatusMessageToErrorObject(9, 3), "Foo2");
  EXPECT_TRUE(scripts().empty());
  drainMainLoop();
  EXPECT_EQ(scripts(),
            (std::vector<std::string>{
                R"(vokaru.require('vokaru/exec').nativeCallback('Foo1',1,"It's \"done\"",1, 0))",
                R"(vokaru.require('vokaru/exec').nativeCallback('Foo2',9,{"code":3},0, 0))"}));
}

TEST_F(VKRCommandDelegateImplTest, ResultFromInsideAnActionReachesThePageBeforeTheActionReturns) {
  std::shared_ptr<VKRCommandQueue> queue = test_.controller->commandQueue();
  queue->enqueueCommandBatch(R"([["Answer7","Answer","answer",[]]])");
  queue->executePending();
  EXPECT_EQ(scripts(),
            (std::vector<std::string>{
                R"(vokaru.require('vokaru/exec').nativeCallback('Answer7',1,"now",0, 0))"}));
}

TEST_F(VKRCommandDelegateImplTest, FlushWithDelayedJsDefersEvaluationsOfItsActions) {
  std::shared_ptr<VKRCommandQueue> queue = test_.controller->commandQueue();
  queue->enqueueCommandBatch(R"([["Answer8","Answer","answer",[]]])");
  std::dynamic_pointer_cast<VKRCommandDelegateImpl>(test_.controller->commandDelegate())
      ->flushCommandQueueWithDelayedJs();
  EXPECT_TRUE(scripts().empty());
  drainMainLoop();
  EXPECT_EQ(scripts().size(), 1u);
}

TEST_F(VKRCommandDelegateImplTest, InvalidCallbackIdsNeverReachAScript) {
  platform::testing::LogCapture log;
  delegate().sendPluginResult(VKRPluginResult::resultWithStatus(1), "INVALID");
  EXPECT_TRUE(log.lines().empty());
  for (const std::optional<std::string>& id :
       {std::optional<std::string>(), std::optional<std::string>("a'); alert(1); ('"),
        std::optional<std::string>(std::string(101, 'a'))}) {
    delegate().sendPluginResult(VKRPluginResult::resultWithStatus(1, "x"), id);
  }
  drainMainLoop();
  EXPECT_TRUE(scripts().empty());
  EXPECT_EQ(log.lines(),
            std::vector<std::string>(3, "Invalid callback id received by sendPluginResult"));
}

TEST_F(VKRCommandDelegateImplTest, ResultsAndScriptsFromABackgroundThreadRunOnTheMainThread) {
  std::atomic<int> evaluatedOffMain{0};
  test_.engine->setResponder([&](const std::string&) -> Value {
    if (!platform::isMainThread()) ++evaluatedOffMain;
    return "";
  });
  auto sentFromMain = std::make_shared<std::atomic<bool>>(true);
  std::shared_ptr<VKRCommandDelegate> shared = test_.controller->commandDelegate();
  delegate().runInBackground([shared, sentFromMain] {
    *sentFromMain = platform::isMainThread();
    shared->sendPluginResult(VKRPluginResult::resultWithStatus(1, 5), "Bg1");
    shared->evalJsScheduledOnRunLoop("bg()", false);  // "at once" only means on the main thread
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return scripts().size() == 2; }));
  EXPECT_FALSE(*sentFromMain);
  EXPECT_EQ(evaluatedOffMain, 0);
  EXPECT_EQ(scripts().front(), "vokaru.require('vokaru/exec').nativeCallback('Bg1',1,5,0, 0)");
}

TEST_F(VKRCommandDelegateImplTest, EvalJsWrapsTheScriptSoQueuedCommandsComeBack) {
  const std::string wrapped =
      "try{vokaru.require('vokaru/exec').nativeEvalAndFetch(function(){fire('x');})}"
      "catch(e){console.log('exeption nativeEvalAndFetch : '+e);};";
  delegate().evalJsScheduledOnRunLoop("fire('x');", false);
  EXPECT_EQ(scripts(), std::vector<std::string>{wrapped});
  delegate().evalJs("fire('x');");
  EXPECT_EQ(scripts().size(), 1u);
  drainMainLoop();
  EXPECT_EQ(scripts(), (std::vector<std::string>{wrapped, wrapped}));
}

TEST_F(VKRCommandDelegateImplTest, AnswersAfterTheControllerIsGoneDoNothing) {
  std::shared_ptr<VKRCommandDelegate> kept = test_.controller->commandDelegate();
  kept->sendPluginResult(VKRPluginResult::resultWithStatus(1), "Late1");
  kept->evalJs("late()");
  test_.controller.reset();
  drainMainLoop();
  EXPECT_TRUE(scripts().empty());
  EXPECT_EQ(kept->getCommandInstance("Answer"), nullptr);
  EXPECT_TRUE(kept->settings().empty());
}

TEST_F(VKRCommandDelegateImplTest, ReachesPluginsAndSettingsOfItsController) {
  EXPECT_EQ(delegate().getCommandInstance("answer"),
            test_.controller->getCommandInstance("Answer"));
  EXPECT_EQ(delegate().settings(), (platform::Dictionary{{"fullscreen", "true"}}));
  EXPECT_FALSE(delegate().urlTransformer());
  delegate().setUrlTransformer([](const std::string& url) { return url + "#t"; });
  EXPECT_EQ(delegate().urlTransformer()("file:///a"), "file:///a#t");
}

TEST_F(VKRCommandDelegateImplTest, FindsFilesOfTheWebFolder) {
  test_.app.writeBundleFile("www/index.html", "<html></html>");
  test_.app.writeBundleFile("www/img/logo.png", "png");
  test_.app.writeBundleFile("secret.txt", "no");
  const std::string www = (test_.app.bundlePath() / "www").string();
  EXPECT_EQ(delegate().pathForResource("index.html"), www + "/index.html");
  EXPECT_EQ(delegate().pathForResource("img/logo.png"), www + "/img/logo.png");
  for (const char* missing :
       {"missing.html", "img/none.png", "img/", "", "../secret.txt", "img/../../secret.txt"}) {
    EXPECT_EQ(delegate().pathForResource(missing), std::nullopt) << missing;
  }
}

}  // namespace
