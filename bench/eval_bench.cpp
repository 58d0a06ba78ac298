// eval: script evaluation round trips per second through web::WebView vs raw WebKitGTK calls on
// the same page, each trip started when the previous answer arrived.
#include <webkit2/webkit2.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "bench/bench_report.h"
#include "platform/testing/main_loop.h"
#include "platform/web/webkit/webkit_engine.h"
#include "platform/web/webkit/webkit_view.h"

namespace {

using namespace platform;

constexpr int kTrips = 2000;
constexpr const char* kScript = "document.title.length + 1";

struct Loaded : web::WebViewDelegate {
  bool done = false;
  void didFinishLoad(web::WebView&) override { done = true; }
};

size_t sink = 0;

void oursRun(web::WebView& view) {
  int left = kTrips;
  std::function<void()> next = [&] {
    view.evaluateJavaScript(kScript, [&](Result<std::string> result) {
      sink += result.ok() ? result.value().size() : 0;
      if (--left > 0) next();
    });
  };
  next();
  testing::runMainLoopUntil([&] { return left == 0; }, seconds(60));
}

struct RawState {
  WebKitWebView* view;
  int left;
};

void rawAnswer(GObject* source, GAsyncResult* result, gpointer data) {
  auto* state = static_cast<RawState*>(data);
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (value) {
    char* text = jsc_value_to_string(value);
    sink += strlen(text);
    g_free(text);
    g_object_unref(value);
  }
  if (error) g_error_free(error);
  if (--state->left > 0) {
    webkit_web_view_evaluate_javascript(state->view, kScript, -1, nullptr, nullptr, nullptr,
                                        rawAnswer, state);
  }
}

void rawRun(WebKitWebView* view) {
  RawState state{view, kTrips};
  webkit_web_view_evaluate_javascript(view, kScript, -1, nullptr, nullptr, nullptr, rawAnswer,
                                      &state);
  testing::runMainLoopUntil([&] { return state.left == 0; }, seconds(60));
}

}  // namespace

int main() {
  auto engine = web::makeWebKitEngine({});
  if (!engine.ok()) {
    std::fprintf(stderr, "eval: %s\n", engine.error().description().c_str());
    return 1;
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  auto view = (*engine)->createWebView({.frame = ui::Rect(0, 0, 400, 300)});
  auto* webKit = dynamic_cast<web::WebKitView*>(view.get());
  gtk_container_add(GTK_CONTAINER(window), webKit->nativeWidget());
  gtk_widget_show_all(window);
  auto loaded = std::make_shared<Loaded>();
  view->setDelegate(loaded);
  view->loadHTMLString("<title>bench</title><p>eval</p>", "");
  testing::runMainLoopUntil([&] { return loaded->done; }, seconds(30));

  // Warm both paths up, then alternate them so that both meet the same machine load.
  oursRun(*view);
  rawRun(webKit->webKitView());
  std::vector<double> ours, baseline;
  for (int i = 0; i < 11; ++i) {
    ours.push_back(bench::timeSeconds([&] { oursRun(*view); }));
    baseline.push_back(bench::timeSeconds([&] { rawRun(webKit->webKitView()); }));
  }
  bench::report("eval", kTrips / bench::median(ours), kTrips / bench::median(baseline), "trips/s");
  view.reset();
  gtk_widget_destroy(window);
  return sink == 0;
}
