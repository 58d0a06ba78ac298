#include "VokaruLib/testing/fake_engine.h"

#include <gtest/gtest.h>

#include "platform/testing/main_loop.h"

namespace vokaru::testing {
namespace {

TEST(FakeEngineTest, AnswersLaterFromTheMainQueueAndNotOnceGone) {
  auto engine = std::make_shared<FakeEngine>();
  engine->setResponder([](const std::string& script) { return platform::Value(script + "!"); });
  std::vector<std::string> answers;
  const auto record = [&answers](const platform::Value& result,
                                 const std::optional<platform::Error>& error) {
    EXPECT_FALSE(error);
    answers.push_back(result.stringOr(""));
  };
  engine->evaluateJavaScript("a", record);
  engine->evaluateJavaScript("b", record);
  EXPECT_EQ(engine->scripts(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(answers.empty());  // never inline
  platform::testing::drainMainLoop();
  EXPECT_EQ(answers, (std::vector<std::string>{"a!", "b!"}));

  engine->evaluateJavaScript("c", record);
  engine.reset();
  platform::testing::drainMainLoop();
  EXPECT_EQ(answers.size(), 2u);
}

}  // namespace
}  // namespace vokaru::testing
