// fetch: 2000 sequential small GETs on loopback through the session fetcher (each fetch a new
// fetcher, its completion on the main queue) vs a raw libcurl easy handle reused in a loop.
#include <curl/curl.h>

#include "bench/bench_report.h"
#include "bench/fetch_server.h"
#include "platform/dispatch/queue.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace {
constexpr int kFetches = 2000;

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }
}  // namespace

int main() {
  auto server = bench::makeFetchServer();
  const std::string url = server->url("/small");
  size_t failures = 0;

  const double ours = bench::medianSeconds(
      [&] {
        for (int i = 0; i < kFetches; ++i) {
          auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(url);
          fetcher->setAllowLocalhostRequest(true);
          bool done = false;
          fetcher->beginFetchWithCompletionHandler([&](const auto& data, const auto& error) {
            failures += error || !data || data->size() != 21;
            done = true;
          });
          while (!done) platform::runMainLoopOnce(std::chrono::seconds(1));
        }
      },
      3);

  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  const double baseline = bench::medianSeconds(
      [&] {
        for (int i = 0; i < kFetches; ++i) failures += curl_easy_perform(easy) != CURLE_OK;
      },
      3);
  curl_easy_cleanup(easy);

  bench::report("fetch", ours / kFetches * 1e6, baseline / kFetches * 1e6, "us/request");
  return failures == 0 ? 0 : 1;
}
