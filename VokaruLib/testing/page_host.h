#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "VokaruLib/Classes/Public/vkr_app_delegate.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/notification_center.h"
#include "platform/foundation/error.h"
#include "platform/testing/log_capture.h"
#include "platform/testing/test_app.h"
#include "platform/ui/gtk/renderer.h"
#include "platform/web/web_engine.h"

namespace vokaru::testing {

// An app that runs for real, for end-to-end tests under a display: a throw-away app whose bundle
// is a copy of a bundle folder (the sample app unless told otherwise) with the test's files
// written over it, the app's WebKit engine, the GTK renderer, and the app delegate's window with
// the host controller, whose start page loads in a real web view. A page process takes about half
// a second to start: share one host among a group of tests (make it in SetUpTestSuite) and
// reload() where a case needs a fresh page. One host at a time. Main thread only.
//
// Link the test with vokaru_link_whole(<test> vokaru_runtime), so that config.xml finds the
// built-in plugins by name.
class PageHost {
 public:
  struct Options {
    // The bundle folder to copy: config.xml, Info.plist, www/.
    std::filesystem::path bundle = sampleBundlePath();
    // Files written into the copy (relative path to content), after copying.
    std::map<std::filesystem::path, std::string> files;
    // A host controller to launch with (made by the app delegate otherwise); made by a function,
    // because it reads the bundle, which exists only once the host is made.
    std::function<std::shared_ptr<VKRViewController>()> makeController;
    // The app delegate to launch with (a VKRAppDelegate when not given).
    std::function<std::shared_ptr<VKRAppDelegate>()> makeAppDelegate;
    // The launch options the app finishes launching with (none when null).
    platform::Value launchOptions;
  };

  // The sample app's bundle in the source tree.
  static std::filesystem::path sampleBundlePath();

  explicit PageHost(Options options);
  PageHost() : PageHost(Options()) {}
  ~PageHost();
  PageHost(const PageHost&) = delete;
  PageHost& operator=(const PageHost&) = delete;

  // Launches the app (the delegate finishes launching: window, controller, start page) and waits
  // until the first page load ends, finished or failed.
  platform::Status launch(platform::Duration timeout = platform::seconds(20));

  const platform::testing::TestApp& app() const { return *app_; }
  std::shared_ptr<VKRAppDelegate> appDelegate() const { return appDelegate_; }
  std::shared_ptr<VKRViewController> controller() const;
  std::shared_ptr<platform::web::WebView> webView() const;

  // Runs the script in the page and waits for its text; "error: <description>" when it fails.
  std::string eval(const std::string& script);
  // Runs the main loop until the script gives "true" (asked every 20 ms) or the time passes.
  bool waitFor(const std::string& condition, platform::Duration timeout = platform::seconds(10));
  // Loads the start page again and waits for its load to end.
  bool reload(platform::Duration timeout = platform::seconds(20));
  // Runs the main loop until this many page loads have finished (or failed) since launch.
  bool waitForPageLoads(int count, platform::Duration timeout = platform::seconds(20));
  int pageLoads() const { return pageLoads_; }
  // Page loads that failed since launch.
  int pageFailures() const;
  // What the runtime logged since launch.
  platform::testing::LogCapture& log() { return log_; }

 private:
  Options options_;
  platform::testing::LogCapture log_;
  std::unique_ptr<platform::testing::TestApp> app_;
  std::shared_ptr<platform::web::WebEngine> previousEngine_;
  std::shared_ptr<platform::web::WebEngine> engine_;
  std::shared_ptr<platform::ui::gtk::Renderer> renderer_;
  std::shared_ptr<VKRAppDelegate> appDelegate_;
  platform::NotificationCenter::Observation pageLoadObservation_;
  int pageLoads_ = 0;
};

}  // namespace vokaru::testing
