// startup: process start to start page loaded, for the shell on the sample app (app delegate,
// host controller, start-up plugins, user-agent lock, the app's web engine and storage) vs a
// minimal raw WebKitGTK program loading the same page; each run is a fresh process (this program
// started again in one of the two modes).
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_app_web_engine.h"
#include "app/app_delegate.h"
#include "bench/bench_report.h"
#include "bench/process_start.h"
#include "platform/dispatch/notification_center.h"
#include "platform/foundation/log.h"
#include "platform/storage/app_environment.h"
#include "platform/testing/temp_dir.h"
#include "platform/ui/application.h"
#include "platform/ui/gtk/renderer.h"

namespace {

using namespace platform;

const std::filesystem::path kBundle = VOKARU_SAMPLE_BUNDLE;

int runOurs(const std::filesystem::path& folder) {
  setConsoleLogging(false);
  AppEnvironment::configure({kBundle, folder / "home", folder / "keychain"});
  auto renderer = ui::gtk::Renderer::install();
  auto delegate = std::make_shared<AppDelegate>();
  auto engine = vkrInstallAppWebEngine();
  if (!renderer.ok() || !engine.ok()) return 1;
  auto observation = NotificationCenter::defaultCenter().addObserver(
      VKRPageDidLoadNotification, nullptr, [](const Notification&) { bench::reportLoaded(); });
  ui::Application::shared().setDelegate(delegate);
  if (!ui::Application::shared().finishLaunching()) return 1;
  for (;;) g_main_context_iteration(nullptr, TRUE);
}

int runRaw() {
  const std::string page = "file://" + (kBundle / "www/index.html").string();
  bench::runRawWebView(375, 667,
                       [&](WebKitWebView* view) { webkit_web_view_load_uri(view, page.c_str()); });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "ours") == 0) return runOurs(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "raw") == 0) return runRaw();
  // One app home for every run, as an installed app starts with the home it left.
  testing::TempDir folder;
  std::vector<double> ours, raw;
  // Alternate the two so that both meet the same machine load; the first of each warms up.
  bench::secondsUntilLoaded({"ours", folder.path().string()});
  bench::secondsUntilLoaded({"raw"});
  for (int i = 0; i < 11; ++i) {
    ours.push_back(bench::secondsUntilLoaded({"ours", folder.path().string()}));
    raw.push_back(bench::secondsUntilLoaded({"raw"}));
  }
  bench::report("startup", bench::median(ours) * 1e3, bench::median(raw) * 1e3, "ms");
  return 0;
}
