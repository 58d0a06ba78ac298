// batch: 1000 queued page commands of about 100 bytes, parsed, dispatched to a no-op plugin and
// answered with their callback texts, vs nlohmann/json parsing the same batch alone.
#include <nlohmann/json.hpp>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_queue.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "VokaruLib/testing/test_controller.h"
#include "bench/bench_report.h"
#include "platform/foundation/log.h"
#include "platform/testing/main_loop.h"

namespace {

constexpr int kCommands = 1000;
int answered = 0;

class NoOpPlugin : public VKRPlugin {
 public:
  explicit NoOpPlugin(std::shared_ptr<VKRWebViewEngineProtocol> engine)
      : VKRPlugin(std::move(engine)) {
    addAction("noop", &NoOpPlugin::noop);
  }

 private:
  void noop(const VKRInvokedUrlCommand& command) {
    ++answered;
    commandDelegate()->sendPluginResult(VKRPluginResult::resultWithStatus(kVKRCommandStatusOK),
                                        command.callbackId());
  }
};

std::string makeBatch() {
  std::string batch = "[";
  for (int i = 0; i < kCommands; ++i) {
    if (i) batch += ',';
    batch +=
        "[\"NoOp" + std::to_string(100000 + i) +
        "\",\"NoOp\",\"noop\",[\"vkrfile://localhost/persistent/a.txt\",42,true,{\"k\":\"v\"}]]";
  }
  return batch + "]";
}

}  // namespace

VKR_REGISTER_PLUGIN(NoOpPlugin);

int main() {
  platform::setConsoleLogging(false);
  vokaru::testing::TestController test(
      R"(<widget><feature name="NoOp"><param name="ios-package" value="NoOpPlugin"/></feature></widget>)");
  std::shared_ptr<VKRCommandQueue> queue = test.controller->commandQueue();
  const std::string batch = makeBatch();

  size_t sink = 0;
  const bench::Medians times = bench::medianSecondsInTurns(
      [&] {
        answered = 0;
        test.engine->clearScripts();
        queue->enqueueCommandBatch(batch);
        queue->executePending();
        platform::testing::runMainLoopUntil([] { return answered == kCommands; });
      },
      [&] { sink += nlohmann::json::parse(batch).size(); }, 15);
  bench::report("batch", times.ours * 1e3, times.baseline * 1e3, "ms");
  return sink == 0 || test.engine->scripts().size() != kCommands;
}
