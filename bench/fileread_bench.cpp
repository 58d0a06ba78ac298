// fileread: an 8 MB file read as an ArrayBuffer through the bridge in a real web view (page ->
// file plugin -> page), vs reading the file in plain C++ and handing the same base64 text to the
// page with one script evaluation that makes the ArrayBuffer.
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "VokaruLib/testing/page_host.h"
#include "bench/bench_report.h"
#include "platform/foundation/base64.h"
#include "platform/foundation/log.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"

namespace {

constexpr size_t kSize = 8 * 1024 * 1024;
constexpr int kRuns = 9;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<widget>
  <feature name="File">
    <param name="ios-package" value="VKRFile" />
    <param name="onload" value="true" />
  </feature>
</widget>)";

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><script src="vokaru.js"></script><script>
  var elapsed = null;
  function readThroughBridge(size) {
    elapsed = null;
    var start = performance.now();
    vokaru.exec(function (buffer) {
                  elapsed = buffer.byteLength === size ? performance.now() - start : -1;
                },
                function () { elapsed = -1; },
                'File', 'readAsArrayBuffer', ['vkrfile://localhost/persistent/big.bin', 0, -1]);
  }
  function receive(base64) {
    return vokaru.require('vokaru/base64').toArrayBuffer(base64).byteLength;
  }
</script></head><body></body></html>)";

std::string pseudoRandom(size_t size) {
  std::string data(size, '\0');
  uint32_t state = 12345;
  for (char& c : data) {
    state = state * 1664525u + 1013904223u;
    c = static_cast<char>(state >> 24);
  }
  return data;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  std::setlocale(LC_ALL, "C.UTF-8");
  platform::setConsoleLogging(false);
  vokaru::testing::PageHost::Options options;
  options.files = {{"config.xml", kConfig}, {"www/index.html", kPage}};
  vokaru::testing::PageHost host(std::move(options));
  if (platform::Status launched = host.launch(); !launched) {
    std::fprintf(stderr, "fileread: %s\n", launched.error().description().c_str());
    return 1;
  }
  const std::filesystem::path file = host.app().appHome() / "Documents" / "big.bin";
  platform::testing::writeFile(file, pseudoRandom(kSize));

  // Both ways take turns, so a machine busy with other work slows them alike.
  std::shared_ptr<platform::web::WebView> view = host.webView();
  std::vector<double> ours;
  std::vector<double> baseline;
  for (int run = 0; run <= kRuns; ++run) {
    host.eval("readThroughBridge(" + std::to_string(kSize) + ")");
    if (!host.waitFor("elapsed !== null", platform::seconds(60)) || host.eval("elapsed") == "-1") {
      std::fprintf(stderr, "fileread: the page got no file\n");
      return 1;
    }
    const double bridge = std::stod(host.eval("elapsed"));

    const auto start = std::chrono::steady_clock::now();
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::optional<std::string> received;
    view->evaluateJavaScript("receive('" + platform::base64Encode(bytes) + "')",
                             [&](platform::Result<std::string> result) {
                               received = result.ok() ? *result : result.error().description();
                             });
    platform::testing::runMainLoopUntil([&] { return received.has_value(); },
                                        platform::seconds(60));
    const double direct =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (received != std::to_string(kSize)) {
      std::fprintf(stderr, "fileread: the page got no bytes\n");
      return 1;
    }
    if (run == 0) continue;  // both warm up
    ours.push_back(bridge);
    baseline.push_back(direct);
  }
  bench::report("fileread", median(ours), median(baseline), "ms");
  return 0;
}
