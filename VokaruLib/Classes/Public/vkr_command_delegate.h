#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "VokaruLib/Classes/Public/vkr_plugin_result.h"
#include "platform/foundation/value.h"

class VKRPlugin;

// The one object through which plugins answer the page, run script in it, run work in the
// background, find files of the web folder, reach other plugins and read the settings. Plugins
// hold it weakly as their commandDelegate().
class VKRCommandDelegate {
 public:
  using URLTransformer = std::function<std::string(const std::string& url)>;

  virtual ~VKRCommandDelegate() = default;

  // The path of a file of the web folder ("img/logo.png" is logo.png in www/img), if there is one.
  virtual std::optional<std::string> pathForResource(std::string_view resourcePath) = 0;
  // The plugin of a service (found without regard to case), made on first use; null if none.
  virtual std::shared_ptr<VKRPlugin> getCommandInstance(std::string_view pluginName) = 0;
  // Delivers the result to the page callback of the id. Any thread. The id "INVALID" is dropped
  // silently; other ids that are absent or not safe to place in a script are dropped and logged.
  virtual void sendPluginResult(const VKRPluginResult& result,
                                const std::optional<std::string>& callbackId) = 0;
  // Runs script in the page, in a later turn of the main loop. Any thread.
  virtual void evalJs(std::string_view js) = 0;
  // As evalJs(); with scheduled false the script runs at once when called on the main thread.
  virtual void evalJsScheduledOnRunLoop(std::string_view js, bool scheduledOnRunLoop) = 0;
  // Runs the work on the global queue.
  virtual void runInBackground(std::function<void()> work) = 0;
  // The page's user agent.
  virtual std::string userAgent() = 0;
  // The preferences of config.xml, with lower-cased keys.
  virtual platform::Dictionary settings() = 0;
  // A host's mapping of file URLs handed to the page (unset by default).
  virtual URLTransformer urlTransformer() = 0;
  virtual void setUrlTransformer(URLTransformer transformer) = 0;
};
