// download: 64 MB over loopback into a file of the app's documents through the file-transfer
// plugin (with its progress events) vs a raw libcurl GET written to a file; wall time per
// download.
#include <curl/curl.h>

#include <cstdio>

#include "bench/bench_report.h"
#include "bench/transfer_bench.h"
#include "platform/storage/app_home.h"

namespace {
size_t toFile(char* data, size_t size, size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}
}  // namespace

int main() {
  const std::string body(bench::kTransferSize, 'd');
  auto server = bench::makeTransferServer(body);
  bench::TransferPlugins plugins;
  const std::string url = server->url("/file");
  const auto rawTarget = platform::AppHome::documents() / "raw.bin";

  CURL* easy = curl_easy_init();
  bool curlFailed = false;
  const bench::Medians medians = bench::medianSecondsInTurns(
      [&] {
        plugins.run("download",
                    {url, "vkrfile://localhost/persistent/download.bin", false, "down", nullptr});
      },
      [&] {
        std::FILE* file = std::fopen(rawTarget.c_str(), "wb");
        curl_easy_reset(easy);
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &toFile);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
        curlFailed = curlFailed || curl_easy_perform(easy) != CURLE_OK;
        curlFailed = std::fclose(file) != 0 || curlFailed;
      },
      5);
  curl_easy_cleanup(easy);

  bench::report("download", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  return plugins.delegate->failed() || curlFailed ? 1 : 0;
}
