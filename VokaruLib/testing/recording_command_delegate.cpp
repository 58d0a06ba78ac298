#include "VokaruLib/testing/recording_command_delegate.h"

#include "VokaruLib/Classes/Public/vkr_lowercase.h"
#include "platform/dispatch/queue.h"
#include "platform/testing/main_loop.h"

namespace vokaru::testing {

std::vector<RecordingCommandDelegate::Sent> RecordingCommandDelegate::sent() const {
  platform::MutexLock lock(mutex_);
  return sent_;
}

bool RecordingCommandDelegate::waitForResults(size_t count, platform::Duration timeout) const {
  return platform::testing::runMainLoopUntil(
      [&] {
        platform::MutexLock lock(mutex_);
        return sent_.size() >= count;
      },
      timeout);
}

void RecordingCommandDelegate::clear() {
  platform::MutexLock lock(mutex_);
  sent_.clear();
  scripts_.clear();
}

void RecordingCommandDelegate::setSettings(platform::Dictionary settings) {
  platform::MutexLock lock(mutex_);
  settings_ = std::move(settings);
}

void RecordingCommandDelegate::setPlugin(std::string name, std::shared_ptr<VKRPlugin> plugin) {
  platform::MutexLock lock(mutex_);
  plugins_[vkrLowercase(name)] = std::move(plugin);
}

std::vector<std::string> RecordingCommandDelegate::scripts() const {
  platform::MutexLock lock(mutex_);
  return scripts_;
}

std::optional<std::string> RecordingCommandDelegate::pathForResource(
    std::string_view resourcePath) {
  platform::MutexLock lock(mutex_);
  if (webFolder_.empty() || resourcePath.empty()) return std::nullopt;
  const std::filesystem::path path = webFolder_ / resourcePath;
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) ? std::optional(path.string())
                                                       : std::nullopt;
}

void RecordingCommandDelegate::setWebFolder(std::filesystem::path folder) {
  platform::MutexLock lock(mutex_);
  webFolder_ = std::move(folder);
}

std::shared_ptr<VKRPlugin> RecordingCommandDelegate::getCommandInstance(
    std::string_view pluginName) {
  platform::MutexLock lock(mutex_);
  auto it = plugins_.find(vkrLowercase(pluginName));
  return it == plugins_.end() ? nullptr : it->second;
}

void RecordingCommandDelegate::sendPluginResult(const VKRPluginResult& result,
                                                const std::optional<std::string>& callbackId) {
  platform::MutexLock lock(mutex_);
  sent_.push_back({result, callbackId, platform::isMainThread()});
}

void RecordingCommandDelegate::evalJs(std::string_view js) { evalJsScheduledOnRunLoop(js, true); }

void RecordingCommandDelegate::evalJsScheduledOnRunLoop(std::string_view js, bool) {
  platform::MutexLock lock(mutex_);
  scripts_.emplace_back(js);
}

void RecordingCommandDelegate::runInBackground(std::function<void()> work) {
  platform::globalQueue()->async(std::move(work));
}

std::string RecordingCommandDelegate::userAgent() { return "RecordingCommandDelegate"; }

platform::Dictionary RecordingCommandDelegate::settings() {
  platform::MutexLock lock(mutex_);
  return settings_;
}

VKRCommandDelegate::URLTransformer RecordingCommandDelegate::urlTransformer() {
  platform::MutexLock lock(mutex_);
  return urlTransformer_;
}

void RecordingCommandDelegate::setUrlTransformer(URLTransformer transformer) {
  platform::MutexLock lock(mutex_);
  urlTransformer_ = std::move(transformer);
}

}  // namespace vokaru::testing
