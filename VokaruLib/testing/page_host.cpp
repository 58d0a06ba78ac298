#include "VokaruLib/testing/page_host.h"

#include <algorithm>
#include <chrono>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_app_web_engine.h"
#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "platform/dispatch/main_thread_check.h"
#include "platform/storage/bundle.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/user_defaults.h"
#include "platform/testing/main_loop.h"
#include "platform/ui/application.h"

namespace vokaru::testing {

namespace {

constexpr const char* kLoadFailedLine = "Failed to load webpage with error: ";

std::string bundleIdentifierOf(const platform::Bundle& bundle) {
  std::string identifier = bundle.bundleIdentifier();
  return identifier.empty() ? "org.vokaru.page-test" : identifier;
}

}  // namespace

std::filesystem::path PageHost::sampleBundlePath() { return VOKARU_SAMPLE_BUNDLE; }

PageHost::PageHost(Options options) : options_(std::move(options)) {
  VKR_ASSERT_MAIN_THREAD();
  const platform::Bundle source(options_.bundle);
  app_ = std::make_unique<platform::testing::TestApp>(bundleIdentifierOf(source),
                                                      source.infoDictionary());
  platform::Result<std::vector<std::string>> entries =
      platform::FileManager::contentsOfDirectory(options_.bundle);
  if (entries.ok()) {
    for (const std::string& entry : *entries) {
      if (entry == "Info.plist") continue;  // written by the app, with the same entries
      (void)platform::FileManager::copyItem(options_.bundle / entry, app_->bundlePath() / entry);
    }
  }
  for (const auto& [path, content] : options_.files) app_->writeBundleFile(path, content);
}

PageHost::~PageHost() {
  pageLoadObservation_.reset();
  platform::ui::Application::shared().setDelegate(nullptr);
  appDelegate_.reset();
  renderer_.reset();
  platform::ui::Application::resetShared();
  // Work the page or the engine left for the main loop runs before the engine goes.
  platform::testing::drainMainLoop();
  engine_.reset();
  platform::web::setWebEngine(previousEngine_);
  platform::UserDefaults::resetStandard();
  app_.reset();
}

platform::Status PageHost::launch(platform::Duration timeout) {
  VKR_ASSERT_MAIN_THREAD();
  platform::ui::Application::resetShared();
  platform::Result<std::shared_ptr<platform::ui::gtk::Renderer>> renderer =
      platform::ui::gtk::Renderer::install();
  if (!renderer.ok()) return renderer.error();
  renderer_ = *renderer;

  appDelegate_ =
      options_.makeAppDelegate ? options_.makeAppDelegate() : std::make_shared<VKRAppDelegate>();
  previousEngine_ = platform::web::webEngine();
  platform::Result<std::shared_ptr<platform::web::WebEngine>> engine = vkrInstallAppWebEngine();
  if (!engine.ok()) return engine.error();
  engine_ = *engine;

  pageLoadObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      VKRPageDidLoadNotification, nullptr, [this](const platform::Notification&) { ++pageLoads_; });
  if (options_.makeController) appDelegate_->setViewController(options_.makeController());
  platform::ui::Application& application = platform::ui::Application::shared();
  application.setDelegate(appDelegate_);
  if (!application.finishLaunching(options_.launchOptions)) {
    return platform::Error::withDescription("PageHostErrorDomain", 1, "The app did not launch");
  }
  if (!waitForPageLoads(1, timeout)) {
    return platform::Error::withDescription("PageHostErrorDomain", 2,
                                            "The start page did not load in time");
  }
  return platform::okStatus();
}

std::shared_ptr<VKRViewController> PageHost::controller() const {
  return appDelegate_ ? appDelegate_->viewController() : nullptr;
}

std::shared_ptr<platform::web::WebView> PageHost::webView() const {
  std::shared_ptr<VKRViewController> host = controller();
  return host ? host->webView() : nullptr;
}

int PageHost::pageFailures() const {
  const std::vector<std::string> lines = log_.lines();
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with(kLoadFailedLine);
  }));
}

bool PageHost::waitForPageLoads(int count, platform::Duration timeout) {
  return platform::testing::runMainLoopUntil([&] { return pageLoads_ + pageFailures() >= count; },
                                             timeout);
}

std::string PageHost::eval(const std::string& script) {
  VKR_ASSERT_MAIN_THREAD();
  std::shared_ptr<platform::web::WebView> view = webView();
  if (!view) return "error: no web view";
  platform::Result<std::string> result = view->evaluateJavaScriptSync(script);
  return result.ok() ? result.value() : "error: " + result.error().description();
}

bool PageHost::waitFor(const std::string& condition, platform::Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (eval(condition) == "true") return true;
    const platform::Duration left = deadline - std::chrono::steady_clock::now();
    if (left <= platform::Duration::zero()) return false;
    // Let the page and the runtime work a little before asking again.
    platform::testing::runMainLoopUntil(
        [] { return false; }, std::min<platform::Duration>(left, std::chrono::milliseconds(20)));
  }
}

bool PageHost::reload(platform::Duration timeout) {
  std::shared_ptr<VKRViewController> host = controller();
  std::optional<platform::URL> start = host ? host->appUrl() : std::nullopt;
  if (!start) return false;
  const int before = pageLoads_ + pageFailures();
  host->webViewEngine()->loadRequest(platform::web::URLRequest(start->absoluteString()));
  return waitForPageLoads(before + 1, timeout);
}

}  // namespace vokaru::testing
