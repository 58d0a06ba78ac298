#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/thread_annotations.h"

namespace vokaru::testing {

// A command delegate for unit tests of plugins: records every result and script a plugin sends
// (from any thread), runs background work on the real global queue, and answers settings,
// plugins and the URL transformer the test gives it.
class RecordingCommandDelegate : public VKRCommandDelegate {
 public:
  struct Sent {
    VKRPluginResult result;
    std::optional<std::string> callbackId;
    bool onMainThread = false;
  };

  // What was sent so far, in order.
  std::vector<Sent> sent() const;
  // Runs the main loop until `count` results in all have been sent; false on time-out.
  bool waitForResults(size_t count, platform::Duration timeout = platform::seconds(10)) const;
  void clear();

  void setSettings(platform::Dictionary settings);
  // The folder pathForResource() finds files in; none by default.
  void setWebFolder(std::filesystem::path folder);
  void setPlugin(std::string name, std::shared_ptr<VKRPlugin> plugin);
  std::vector<std::string> scripts() const;

  std::optional<std::string> pathForResource(std::string_view resourcePath) override;
  std::shared_ptr<VKRPlugin> getCommandInstance(std::string_view pluginName) override;
  void sendPluginResult(const VKRPluginResult& result,
                        const std::optional<std::string>& callbackId) override;
  void evalJs(std::string_view js) override;
  void evalJsScheduledOnRunLoop(std::string_view js, bool scheduledOnRunLoop) override;
  void runInBackground(std::function<void()> work) override;
  // "RecordingCommandDelegate".
  std::string userAgent() override;
  platform::Dictionary settings() override;
  URLTransformer urlTransformer() override;
  void setUrlTransformer(URLTransformer transformer) override;

 private:
  mutable platform::Mutex mutex_;
  std::vector<Sent> sent_ VKR_GUARDED_BY(mutex_);
  std::vector<std::string> scripts_ VKR_GUARDED_BY(mutex_);
  platform::Dictionary settings_ VKR_GUARDED_BY(mutex_);
  std::filesystem::path webFolder_ VKR_GUARDED_BY(mutex_);
  std::map<std::string, std::shared_ptr<VKRPlugin>, std::less<>> plugins_ VKR_GUARDED_BY(mutex_);
  URLTransformer urlTransformer_ VKR_GUARDED_BY(mutex_);
};

}  // namespace vokaru::testing
