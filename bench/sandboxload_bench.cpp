// sandboxload: a page that loads 500 of its own small files as images and 500 more with fetch,
// in a web view whose web process runs the app-container extension (every file request checked)
// vs a view of an engine without it, in turns in the same run. The page times itself, from its
// navigation's start until the last file has come.
#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>

#include "bench/bench_report.h"
#include "platform/foundation/url.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"
#include "platform/testing/temp_dir.h"
#include "platform/web/webkit/webkit_engine.h"
#include "platform/web/webkit/webkit_view.h"

namespace {

using namespace platform;

constexpr int kFiles = 500;

// Each run asks with its own query, so no file comes from the engine's memory cache.
constexpr const char* kPage = R"(<!DOCTYPE html><html><head><script>
  var n = 500, left = 2 * n, failed = 0, run = location.search.slice(1);
  function one(ok) {
    if (!ok) ++failed;
    if (--left === 0) { window.elapsed = performance.now(); document.title = 'done'; }
  }
  for (var i = 0; i < n; i++) {
    var image = new Image();
    image.onload = function () { one(true); };
    image.onerror = function () { one(false); };
    image.src = 'img/' + i + '.png?' + run;
    fetch('txt/' + i + '.txt?' + run).then(function (r) { return r.text(); })
        .then(function (t) { one(t.length > 0); }, function () { one(false); });
  }
</script></head><body></body></html>)";

struct Page {
  std::shared_ptr<web::WebView> view;
  GtkWidget* window;
};

Page open(web::WebEngine& engine) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  auto view = engine.createWebView({.frame = ui::Rect(0, 0, 400, 300)});
  gtk_container_add(GTK_CONTAINER(window), dynamic_cast<web::WebKitView&>(*view).nativeWidget());
  gtk_widget_show_all(window);
  return {view, window};
}

int runNumber = 0;
bool failures = false;

// The page's own time in milliseconds for one load of all its files.
double loadAll(web::WebView& view, const std::string& start) {
  view.loadRequest(web::URLRequest(start + "?" + std::to_string(++runNumber)));
  testing::runMainLoopUntil([&] { return view.title() == "done"; }, seconds(60));
  if (view.evaluateJavaScriptSync("failed").valueOr("?") != "0") failures = true;
  return std::atof(view.evaluateJavaScriptSync("window.elapsed").valueOr("0").c_str());
}

}  // namespace

int main() {
  testing::TempDir app;
  const std::filesystem::path www = app / "App.bundle/www";
  testing::writeFile(www / "index.html", kPage);
  const std::string png = testing::pngOf(4, 4, 0x336699ff);
  for (int i = 0; i < kFiles; ++i) {
    testing::writeFile(www / "img" / (std::to_string(i) + ".png"), png);
    testing::writeFile(www / "txt" / (std::to_string(i) + ".txt"), "file " + std::to_string(i));
  }
  web::WebKitEngineConfiguration confined;
  confined.container = AppContainer::of(app / "App.bundle", app / "home", app / "keychain");
  confined.webExtensionsDirectory = VOKARU_WEB_EXTENSIONS_DIR;
  auto ours = web::makeWebKitEngine(confined);
  auto baseline = web::makeWebKitEngine({});
  if (!ours.ok() || !baseline.ok()) {
    std::fprintf(stderr, "sandboxload: %s\n",
                 (ours.ok() ? baseline : ours).error().description().c_str());
    return 1;
  }
  Page oursPage = open(**ours);
  Page baselinePage = open(**baseline);
  const std::string start = URL::fileURL((www / "index.html").string())->absoluteString();

  // Warm both up, then alternate them so that both meet the same machine load.
  loadAll(*oursPage.view, start);
  loadAll(*baselinePage.view, start);
  std::vector<double> oursTimes, baselineTimes;
  for (int i = 0; i < 11; ++i) {
    oursTimes.push_back(loadAll(*oursPage.view, start));
    baselineTimes.push_back(loadAll(*baselinePage.view, start));
  }
  if (failures) std::fprintf(stderr, "sandboxload: some of the page's own files did not load\n");
  // The figure means something only if the extension ran.
  oursPage.view->evaluateJavaScript(
      "fetch('file:///etc/passwd').then(function () { document.title = 'read'; },"
      "                                  function () { document.title = 'refused'; })",
      nullptr);
  testing::runMainLoopUntil(
      [&] { return oursPage.view->title() == "read" || oursPage.view->title() == "refused"; },
      seconds(10));
  if (oursPage.view->title() != "refused") {
    std::fprintf(stderr, "sandboxload: the container extension did not run\n");
    failures = true;
  }
  bench::report("sandboxload", bench::median(oursTimes), bench::median(baselineTimes), "ms");
  oursPage.view.reset();
  baselinePage.view.reset();
  gtk_widget_destroy(oursPage.window);
  gtk_widget_destroy(baselinePage.window);
  return failures ? 1 : 0;
}
