// webstart: process start to first page loaded, for a window with a web view built through the
// view model, renderer and web engine vs a minimal raw WebKitGTK program; each run is a fresh
// process (this program started again in one of the two modes).
#include <cstring>
#include <string>

#include "bench/bench_report.h"
#include "bench/process_start.h"
#include "platform/ui/application.h"
#include "platform/ui/gtk/renderer.h"
#include "platform/ui/view_controller.h"
#include "platform/web/webkit/webkit_engine.h"

namespace {

using namespace platform;

constexpr const char* kPage = "<title>start</title><p>first page</p>";

struct FirstLoad : web::WebViewDelegate {
  void didFinishLoad(web::WebView&) override { bench::reportLoaded(); }
};

int runOurs() {
  auto renderer = ui::gtk::Renderer::install();
  auto engine = web::makeWebKitEngine({});
  if (!renderer.ok() || !engine.ok()) return 1;
  auto window = std::make_shared<ui::Window>(ui::Rect(0, 0, 400, 300));
  auto root = std::make_shared<ui::ViewController>();
  window->setRootViewController(root);
  auto view = (*engine)->createWebView({.frame = root->view()->bounds()});
  view->setAutoresizingMask(ui::kFlexibleWidth | ui::kFlexibleHeight);
  root->view()->addSubview(view);
  window->makeKeyAndVisible();
  auto delegate = std::make_shared<FirstLoad>();
  view->setDelegate(delegate);
  view->loadHTMLString(kPage, "");
  for (;;) g_main_context_iteration(nullptr, TRUE);
}

int runRaw() {
  bench::runRawWebView(
      400, 300, [](WebKitWebView* view) { webkit_web_view_load_html(view, kPage, "about:blank"); });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "ours") == 0) return runOurs();
  if (argc == 2 && std::strcmp(argv[1], "raw") == 0) return runRaw();
  // Alternate the two so that both meet the same machine load.
  std::vector<double> ours, raw;
  for (int i = 0; i < 11; ++i) {
    ours.push_back(bench::secondsUntilLoaded({"ours"}));
    raw.push_back(bench::secondsUntilLoaded({"raw"}));
  }
  bench::report("webstart", bench::median(ours) * 1e3, bench::median(raw) * 1e3, "ms");
  return 0;
}
