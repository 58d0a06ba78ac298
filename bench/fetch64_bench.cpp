// fetch64: 64 concurrent small GETs on loopback through the session fetcher vs a raw libcurl
// multi handle running 64 easy handles; wall time until all are done.
#include <curl/curl.h>

#include <vector>

#include "bench/bench_report.h"
#include "bench/fetch_server.h"
#include "platform/dispatch/queue.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace {
constexpr int kConcurrent = 64;

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }
}  // namespace

int main() {
  auto server = bench::makeFetchServer();
  const std::string url = server->url("/small");
  size_t failures = 0;

  const auto ours = [&] {
    int done = 0;
    std::vector<ZSDK_ZTMSessionFetcher::Ptr> fetchers;
    for (int i = 0; i < kConcurrent; ++i) {
      auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(url);
      fetcher->setAllowLocalhostRequest(true);
      fetcher->beginFetchWithCompletionHandler([&](const auto& data, const auto& error) {
        failures += error || !data;
        ++done;
      });
      fetchers.push_back(std::move(fetcher));
    }
    while (done < kConcurrent) platform::runMainLoopOnce(std::chrono::seconds(1));
  };

  CURLM* multi = curl_multi_init();
  std::vector<CURL*> handles;
  for (int i = 0; i < kConcurrent; ++i) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    handles.push_back(easy);
  }
  const auto baseline = [&] {
    for (CURL* easy : handles) curl_multi_add_handle(multi, easy);
    int running = kConcurrent;
    while (running > 0) {
      curl_multi_perform(multi, &running);
      if (running > 0) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      failures += message->data.result != CURLE_OK;
    }
    for (CURL* easy : handles) curl_multi_remove_handle(multi, easy);
  };
  const bench::Medians medians = bench::medianSecondsInTurns(ours, baseline);
  for (CURL* easy : handles) curl_easy_cleanup(easy);
  curl_multi_cleanup(multi);

  bench::report("fetch64", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  return failures == 0 ? 0 : 1;
}
