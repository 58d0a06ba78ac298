#include "VokaruLib/Classes/Public/vkr_command_queue.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/testing/test_controller.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/main_loop.h"

namespace {

using platform::Value;

std::vector<std::string>& calls() {
  static std::vector<std::string> list;
  return list;
}
platform::ManualClock* gClock = nullptr;

// Records each call as "<action> <callback id or ->"; answers "echo" with its first argument.
class QueueProbePlugin : public VKRPlugin {
 public:
  explicit QueueProbePlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {
    addAction("echo", &QueueProbePlugin::echo);
    addAction("record", &QueueProbePlugin::record);
    addAction("slow", &QueueProbePlugin::slow);
    addAction("throw", &QueueProbePlugin::fail);
    addAction("nested", &QueueProbePlugin::nested);
  }

 private:
  void note(const VKRInvokedUrlCommand& command) {
    calls().push_back(command.methodName() + " " + command.callbackId().value_or("-"));
  }
  void echo(const VKRInvokedUrlCommand& command) {
    note(command);
    commandDelegate()->sendPluginResult(
        VKRPluginResult(kVKRCommandStatusOK, command.argumentAtIndex(0)), command.callbackId());
  }
  void record(const VKRInvokedUrlCommand& command) { note(command); }
  // Takes as many virtual milliseconds as its argument says.
  void slow(const VKRInvokedUrlCommand& command) {
    note(command);
    gClock->advance(std::chrono::microseconds(
        static_cast<int64_t>(command.argumentAtIndex(0).doubleOr(0) * 1000)));
  }
  void fail(const VKRInvokedUrlCommand& command) {
    note(command);
    throw std::runtime_error("out of paper");
  }
  // Queues more work and asks for a run from inside this one.
  void nested(const VKRInvokedUrlCommand& command) {
    note(command);
    std::shared_ptr<VKRCommandQueue> queue = viewController()->commandQueue();
    queue->enqueueCommandBatch(R"([[null,"Probe","record",["inner"]]])");
    queue->executePending();
    calls().push_back(queue->currentlyExecuting() ? "still executing" : "not executing");
  }
};
VKR_REGISTER_PLUGIN(QueueProbePlugin);

constexpr const char* kConfig = R"(<widget>
  <feature name="Probe"><param name="ios-package" value="QueueProbePlugin" /></feature>
</widget>)";

std::string records(const std::string& idPrefix, int count) {
  std::string batch = "[";
  for (int i = 0; i < count; ++i) {
    if (i) batch += ',';
    batch += "[\"" + idPrefix + std::to_string(i) + "\",\"Probe\",\"record\",[]]";
  }
  return batch + "]";
}

class VKRCommandQueueTest : public ::testing::Test {
 protected:
  VKRCommandQueueTest() { calls().clear(); }
  VKRCommandQueue& queue() { return *test_.controller->commandQueue(); }
  const std::vector<std::string>& scripts() { return test_.engine->scripts(); }

  // Runs are sliced by virtual time, so a slow or loaded machine never splits one.
  platform::ManualClock virtualTime_;
  vokaru::testing::TestController test_{kConfig};
};

TEST_F(VKRCommandQueueTest, BatchReachesTheActionsInOrderAndResultsComeBackAsCallbackLines) {
  queue().enqueueCommandBatch(R"([["Probe1","Probe","echo",["a\"b"]],[null,"probe","record",[]],)"
                              R"(["Probe2","PROBE","echo",[{"k":[1,2.5,null]}]]])");
  EXPECT_TRUE(calls().empty());
  queue().executePending();
  EXPECT_EQ(calls(), (std::vector<std::string>{"echo Probe1", "record -", "echo Probe2"}));
  EXPECT_EQ(
      scripts(),
      (std::vector<std::string>{
          R"(vokaru.require('vokaru/exec').nativeCallback('Probe1',1,"a\"b",0, 0))",
          R"(vokaru.require('vokaru/exec').nativeCallback('Probe2',1,{"k":[1,2.5,null]},0, 0))"}));
  EXPECT_FALSE(queue().currentlyExecuting());
}

TEST_F(VKRCommandQueueTest, FaultyBatchesEntriesAndActionsAreLoggedAndTheQueueGoesOn) {
  platform::testing::LogCapture log;
  queue().enqueueCommandBatch("[[\"x\",");
  queue().enqueueCommandBatch(R"({"not":"an array"})");
  queue().enqueueCommandBatch(
      R"([["a","Nobody","record",[]],["b","Probe","nothing",[]],["c","","record",[]],)"
      R"(["d","Probe"],[1,"Probe","record",[]],"entry",["e","Probe","throw",[]],)"
      R"(["f","Probe","record",[]]])");
  queue().enqueueCommandBatch("[]");
  queue().enqueueCommandBatch(R"([["g","Probe","record",[]]])");
  queue().executePending();

  EXPECT_EQ(calls(), (std::vector<std::string>{"throw e", "record f", "record g"}));
  const std::vector<std::string> expected = {
      "ERROR: Plugin 'Nobody' not found, or is not a VKRPlugin. Check your plugin mapping in "
      "config.xml.",
      "ERROR: Method 'nothing:' not defined in Plugin 'Probe'",
      "ERROR: Classname and/or methodName not found for command.",
      "ERROR: Malformed command entry: not four elements",
      "ERROR: Malformed command entry: callback id is neither text nor null",
      "ERROR: Malformed command entry: not an array",
      "ERROR: Action 'throw' of plugin 'Probe' failed: out of paper",
  };
  for (const std::string& line : expected) EXPECT_TRUE(log.contains(line)) << line;
  EXPECT_TRUE(log.contains("NSString JSONObject error: "));
  EXPECT_TRUE(log.contains("ERROR: Command batch is not an array; dropped."));
  EXPECT_FALSE(queue().currentlyExecuting());
}

TEST_F(VKRCommandQueueTest, LongBatchRunsBeforeTheShorterBatchBehindIt) {
  const std::string longBatch = records("L", 200);
  ASSERT_GT(longBatch.size(), VKRCommandQueue::kMaxMainThreadBatchLength);
  queue().enqueueCommandBatch(longBatch);
  queue().enqueueCommandBatch(R"([["S","Probe","record",[]]])");
  queue().executePending();
  ASSERT_TRUE(platform::testing::runMainLoopUntil([] { return calls().size() == 201; }));
  EXPECT_EQ(calls().front(), "record L0");
  EXPECT_EQ(calls()[199], "record L199");
  EXPECT_EQ(calls().back(), "record S");
}

TEST_F(VKRCommandQueueTest, LongBatchThatDoesNotParseNeverHoldsUpTheQueue) {
  platform::testing::LogCapture log;
  const std::string unparsable = "[" + std::string(5000, 'x');
  const std::string notAnArray = "{\"k\":\"" + std::string(5000, 'x') + "\"}";
  for (const std::string& bad : {unparsable, notAnArray}) {
    calls().clear();
    queue().enqueueCommandBatch(bad);
    queue().enqueueCommandBatch(R"([["after","Probe","record",[]]])");
    queue().executePending();
    ASSERT_TRUE(platform::testing::runMainLoopUntil([] { return calls().size() == 1; }))
        << bad.substr(0, 10);
    EXPECT_EQ(calls(), (std::vector<std::string>{"record after"}));
  }
  EXPECT_TRUE(log.contains("NSString JSONObject error: "));
}

TEST_F(VKRCommandQueueTest, CountsUTF16UnitsForTheLongBatchRule) {
  // More than 4095 bytes but fewer UTF-16 units: each of these characters is three bytes, one unit.
  std::string id;
  for (int i = 0; i < 1400; ++i) id += "\u20ac";
  const std::string batch = "[[\"" + id + "\",\"Probe\",\"record\",[]]]";
  ASSERT_GT(batch.size(), VKRCommandQueue::kMaxMainThreadBatchLength);
  queue().enqueueCommandBatch(batch);
  queue().executePending();
  // Short in UTF-16 units: parsed at once on this thread, so it ran in this run.
  EXPECT_EQ(calls().size(), 1u);
}

TEST_F(VKRCommandQueueTest, RunYieldsToTheMainLoopAfterEightMilliseconds) {
  platform::ManualClock clock;
  gClock = &clock;
  queue().enqueueCommandBatch(
      R"([["a","Probe","slow",[5]],["b","Probe","slow",[5]],["c","Probe","slow",[5]]])");
  queue().executePending();
  EXPECT_EQ(calls(), (std::vector<std::string>{"slow a", "slow b"}));
  EXPECT_FALSE(queue().currentlyExecuting());
  platform::testing::drainMainLoop();
  EXPECT_EQ(calls(), (std::vector<std::string>{"slow a", "slow b", "slow c"}));

  // Cheap commands of several batches share one run.
  calls().clear();
  for (int i = 0; i < 3; ++i) queue().enqueueCommandBatch(records("B" + std::to_string(i), 3));
  queue().executePending();
  EXPECT_EQ(calls().size(), 9u);
  gClock = nullptr;
}

TEST_F(VKRCommandQueueTest, SlowActionIsReportedWithItsService) {
  platform::ManualClock clock;
  gClock = &clock;
  platform::testing::LogCapture log;
  queue().enqueueCommandBatch(R"([["a","Probe","slow",[10]],["b","Probe","slow",[12.5]]])");
  queue().executePending();
  platform::testing::drainMainLoop();
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "THREAD WARNING: ['Probe'] took '12.500000' ms. Plugin should use a "
                             "background thread."}));
  gClock = nullptr;
}

TEST_F(VKRCommandQueueTest, ARunAskedForFromInsideAnActionDoesNotNest) {
  queue().enqueueCommandBatch(R"([["n","Probe","nested",[]],["after","Probe","record",[]]])");
  queue().executePending();
  EXPECT_EQ(calls(),
            (std::vector<std::string>{"nested n", "still executing", "record after", "record -"}));
  EXPECT_FALSE(queue().currentlyExecuting());
}

TEST_F(VKRCommandQueueTest, FetchesTheQueuedCommandsFromThePage) {
  test_.engine->setResponder([](const std::string& script) -> Value {
    if (script == VKRCommandQueue::kFetchMessagesScript) return R"([["f","Probe","record",[]]])";
    return "";
  });
  queue().fetchCommandsFromJs();
  EXPECT_EQ(scripts(),
            (std::vector<std::string>{"vokaru.require('vokaru/exec').nativeFetchMessages()"}));
  EXPECT_TRUE(calls().empty());  // the page answers later
  platform::testing::drainMainLoop();
  EXPECT_EQ(calls(), (std::vector<std::string>{"record f"}));
}

TEST_F(VKRCommandQueueTest, WhatAnEvaluationAnswersIsRunAsABatch) {
  bool answered = false;
  test_.engine->setResponder([&answered](const std::string&) -> Value {
    if (answered) return "";
    answered = true;
    return R"([["back","Probe","record",[]]])";
  });
  queue().enqueueCommandBatch(R"([["e","Probe","echo",[1]]])");
  queue().executePending();
  platform::testing::drainMainLoop();
  EXPECT_EQ(calls(), (std::vector<std::string>{"echo e", "record back"}));
}

}  // namespace
