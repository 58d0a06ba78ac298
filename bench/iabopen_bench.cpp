// iabopen: a page opens a loopback page in the in-app browser's window and hears its loadstop
// (page -> plugin -> second web view -> plugin -> page), vs making a raw second WebKitGTK view in
// a window of its own and loading the same page until it has finished.
#include <webkit2/webkit2.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "VokaruLib/testing/page_host.h"
#include "bench/bench_report.h"
#include "platform/foundation/log.h"
#include "platform/testing/http_server.h"
#include "platform/testing/main_loop.h"

namespace {

constexpr int kRuns = 9;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="InAppBrowser">
    <param name="ios-package" value="VKRInAppBrowser" />
  </feature>
</widget>)";

// open() measures from the call to the loadstop event; closed turns true at the exit event.
constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script><script>
  var elapsed = null, closed = false;
  function open(url) {
    elapsed = null;
    closed = false;
    var start = performance.now();
    vokaru.exec(function (event) {
      if (!event) return;
      if (event.type === 'loadstop') elapsed = performance.now() - start;
      if (event.type === 'loaderror') elapsed = -1;
      if (event.type === 'exit') closed = true;
    }, function () { elapsed = -1; }, 'InAppBrowser', 'open', [url, '_blank', '']);
  }
  function close() { vokaru.exec(null, null, 'InAppBrowser', 'close', []); }
</script></head><body></body></html>)";

// Milliseconds from making a web view in a window of its own to its page having loaded.
double rawOpen(const std::string& url) {
  const auto start = std::chrono::steady_clock::now();
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 375, 667);
  GtkWidget* view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  bool finished = false;
  g_signal_connect(view, "load-changed",
                   G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer done) {
                     if (event == WEBKIT_LOAD_FINISHED) *static_cast<bool*>(done) = true;
                   }),
                   &finished);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), url.c_str());
  platform::testing::runMainLoopUntil([&] { return finished; }, platform::seconds(30));
  const double elapsed =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  gtk_widget_destroy(window);
  return finished ? elapsed : -1;
}

}  // namespace

int main() {
  std::setlocale(LC_ALL, "C.UTF-8");
  platform::setConsoleLogging(false);
  platform::testing::HttpServer server;
  server.routes().Get("/page.html", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("<html><head><title>page</title></head><body>a page</body></html>",
                         "text/html");
  });
  server.start();
  const std::string url = server.url("/page.html");

  vokaru::testing::PageHost::Options options;
  options.files = {{"config.xml", kConfig}, {"www/index.html", kPage}};
  vokaru::testing::PageHost host(std::move(options));
  if (platform::Status launched = host.launch(); !launched) {
    std::fprintf(stderr, "iabopen: %s\n", launched.error().description().c_str());
    return 1;
  }

  // Both ways take turns, so a machine busy with other work slows them alike.
  std::vector<double> ours;
  std::vector<double> baseline;
  for (int run = 0; run <= kRuns; ++run) {
    host.eval("open('" + url + "')");
    if (!host.waitFor("elapsed !== null", platform::seconds(30)) || host.eval("elapsed") == "-1") {
      std::fprintf(stderr, "iabopen: the window did not load the page\n");
      return 1;
    }
    const double window = std::stod(host.eval("elapsed"));
    host.eval("close()");
    host.waitFor("closed");

    const double raw = rawOpen(url);
    if (raw < 0) {
      std::fprintf(stderr, "iabopen: the raw web view did not load the page\n");
      return 1;
    }
    if (run == 0) continue;  // both warm up
    ours.push_back(window);
    baseline.push_back(raw);
  }
  bench::report("iabopen", bench::median(ours), bench::median(baseline), "ms");
  return 0;
}
