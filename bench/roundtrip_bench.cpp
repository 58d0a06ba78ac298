// roundtrip: sequential page -> native -> page round trips per second through the whole runtime
// (the sample app's bridge and Echo plugin, each command sent from the previous one's callback)
// vs a raw WebKitGTK program with the same mechanism: the page queues a command and navigates a
// hidden frame to "vkr://ready", native code refuses the navigation, pulls the queue by script
// and answers each command by script. The page times each run itself.
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_app_web_engine.h"
#include "app/app_delegate.h"
#include "bench/bench_report.h"
#include "platform/dispatch/notification_center.h"
#include "platform/foundation/log.h"
#include "platform/storage/app_environment.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"
#include "platform/ui/application.h"
#include "platform/ui/gtk/renderer.h"

namespace {

using namespace platform;

constexpr int kTrips = 1000;
constexpr int kRuns = 7;

// Both pages run the same loop; only their exec differs.
constexpr const char* kLoop = R"(
  function runRoundTrips(n, exec) {
    var left = n, start = performance.now();
    window.benchResult = null;
    (function next() {
      exec(function () {
        if (--left === 0) window.benchResult = performance.now() - start; else next();
      }, 'x');
    })();
  })";

std::string oursPage() {
  return std::string("<script src=\"vokaru.js\"></script><script>") + kLoop +
         "\nfunction exec(done, m) { vokaru.exec(done, null, 'Echo', 'echo', [m]); }</script>";
}

std::string rawPage() {
  return std::string("<script>") + kLoop + R"(
  var queue = [], callbacks = {}, lastId = 0, frame = null;
  function exec(done, m) {
    callbacks[++lastId] = done;
    queue.push([lastId, m]);
    if (queue.length === 1) {
      if (!frame) {
        frame = document.createElement('iframe');
        frame.style.display = 'none';
        document.documentElement.appendChild(frame);
      }
      frame.src = 'vkr://ready';
    }
  }
  function rawFetch() { var batch = JSON.stringify(queue); queue = []; return batch; }
  function rawCallback(id, m) { var done = callbacks[id]; delete callbacks[id]; done(m); }
  </script>)";
}

// Runs the page's loop and answers the round trips per second it measured; 0 when it stalled.
double measure(
    const std::function<void(const std::string&, std::function<void(std::string)>)>& eval) {
  eval("runRoundTrips(" + std::to_string(kTrips) + ", exec)", nullptr);
  std::string result;
  bool asking = false;
  const bool done = testing::runMainLoopUntil(
      [&] {
        if (!result.empty() && result != "null" && result != "undefined") return true;
        if (!asking) {
          asking = true;
          eval("window.benchResult", [&](std::string value) {
            result = value;
            asking = false;
          });
        }
        return false;
      },
      seconds(120));
  const double milliseconds = done ? std::atof(result.c_str()) : 0;
  return milliseconds > 0 ? kTrips / (milliseconds / 1000.0) : 0;
}

// The raw program: a web view whose navigation policy pulls and answers the page's commands.
struct Raw {
  GtkWidget* window = nullptr;
  WebKitWebView* view = nullptr;
  bool loaded = false;

  static void answerBatch(GObject* source, GAsyncResult* result, gpointer) {
    auto* view = WEBKIT_WEB_VIEW(source);
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(view, result, nullptr);
    if (!value) return;
    char* text = jsc_value_to_string(value);
    g_object_unref(value);
    nlohmann::json batch = nlohmann::json::parse(text, nullptr, false);
    g_free(text);
    if (!batch.is_array()) return;
    for (const auto& command : batch) {
      const std::string script = "rawCallback(" + command[0].dump() + "," + command[1].dump() + ")";
      webkit_web_view_evaluate_javascript(view, script.c_str(), -1, nullptr, nullptr, nullptr,
                                          nullptr, nullptr);
    }
  }

  static gboolean decide(WebKitWebView* view, WebKitPolicyDecision* decision,
                         WebKitPolicyDecisionType type, gpointer) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (!uri || std::strncmp(uri, "vkr:", 4) != 0) return FALSE;
    webkit_policy_decision_ignore(decision);
    webkit_web_view_evaluate_javascript(view, "rawFetch()", -1, nullptr, nullptr, nullptr,
                                        answerBatch, nullptr);
    return TRUE;
  }

  explicit Raw(const std::string& url) {
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
    WebKitWebContext* context = webkit_web_context_new_ephemeral();
    view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
    g_object_unref(context);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
    gtk_widget_show_all(window);
    g_signal_connect(view, "decide-policy", G_CALLBACK(decide), nullptr);
    g_signal_connect(view, "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer self) {
                       if (event == WEBKIT_LOAD_FINISHED) static_cast<Raw*>(self)->loaded = true;
                     }),
                     this);
    webkit_web_view_load_uri(view, url.c_str());
  }
  ~Raw() { gtk_widget_destroy(window); }

  void eval(const std::string& script, std::function<void(std::string)> answer) {
    auto* call = answer ? new std::function<void(std::string)>(std::move(answer)) : nullptr;
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), -1, nullptr, nullptr, nullptr,
        call ? +[](GObject* source, GAsyncResult* result, gpointer data) {
          std::unique_ptr<std::function<void(std::string)>> answer(
              static_cast<std::function<void(std::string)>*>(data));
          JSCValue* value =
              webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
          char* text = value ? jsc_value_to_string(value) : nullptr;
          (*answer)(text ? text : "");
          g_free(text);
          if (value) g_object_unref(value);
        } : nullptr,
        call);
  }
};

}  // namespace

int main() {
  platform::setConsoleLogging(false);
  testing::TempDir folder;
  const std::filesystem::path bundle = folder / "bundle";
  std::filesystem::create_directories(bundle / "www");
  std::filesystem::copy_file(std::filesystem::path(VOKARU_SAMPLE_BUNDLE) / "www/vokaru.js",
                             bundle / "www/vokaru.js");
  std::filesystem::copy_file(std::filesystem::path(VOKARU_SAMPLE_BUNDLE) / "Info.plist",
                             bundle / "Info.plist");
  testing::writeFile(bundle / "config.xml", R"(<widget>
      <feature name="Echo"><param name="ios-package" value="EchoPlugin" /></feature></widget>)");
  testing::writeFile(bundle / "www/index.html", oursPage());
  testing::writeFile(folder / "raw/index.html", rawPage());
  AppEnvironment::configure({bundle, folder / "home", folder / "keychain"});

  auto renderer = ui::gtk::Renderer::install();
  auto delegate = std::make_shared<AppDelegate>();
  auto engine = vkrInstallAppWebEngine();
  if (!renderer.ok() || !engine.ok()) {
    std::fprintf(stderr, "roundtrip: no display\n");
    return 1;
  }
  int loads = 0;
  auto observation = NotificationCenter::defaultCenter().addObserver(
      VKRPageDidLoadNotification, nullptr, [&](const Notification&) { ++loads; });
  ui::Application::shared().setDelegate(delegate);
  if (!ui::Application::shared().finishLaunching() ||
      !testing::runMainLoopUntil([&] { return loads > 0; }, seconds(60))) {
    std::fprintf(stderr, "roundtrip: the app did not start\n");
    return 1;
  }
  std::shared_ptr<web::WebView> view = delegate->viewController()->webView();
  const auto oursEval = [&](const std::string& script, std::function<void(std::string)> answer) {
    view->evaluateJavaScript(script, [answer](Result<std::string> result) {
      if (answer) answer(result.ok() ? result.value() : "");
    });
  };

  Raw raw("file://" + (folder / "raw/index.html").string());
  if (!testing::runMainLoopUntil([&] { return raw.loaded; }, seconds(60))) return 1;
  const auto rawEval = [&](const std::string& script, std::function<void(std::string)> answer) {
    raw.eval(script, std::move(answer));
  };

  // In turns, so that both meet the same machine load; the first of each warms up.
  measure(oursEval);
  measure(rawEval);
  std::vector<double> ours, baseline;
  for (int i = 0; i < kRuns; ++i) {
    ours.push_back(measure(oursEval));
    baseline.push_back(measure(rawEval));
  }
  bench::report("roundtrip", bench::median(ours), bench::median(baseline), "trips/s");
  ui::Application::shared().setDelegate(nullptr);
  return 0;
}
