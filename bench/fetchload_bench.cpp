// fetchload: the `fetch` loop (sequential small GETs on loopback, each a new fetcher, completion
// on the main queue) vs a raw libcurl easy handle, both while as many busy threads as the machine
// has cores run beside them, so the cost of waking threads on a loaded machine shows.
#include <curl/curl.h>

#include <atomic>
#include <thread>
#include <vector>

#include "bench/bench_report.h"
#include "bench/fetch_server.h"
#include "platform/dispatch/queue.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace {
constexpr int kFetches = 500;

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// Threads that keep every core busy until destroyed.
class BusyThreads {
 public:
  BusyThreads() {
    const unsigned count = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < count; ++i) {
      threads_.emplace_back([this] {
        uint64_t x = 1;
        while (!stop_.load(std::memory_order_relaxed)) x = x * 6364136223846793005ULL + 1;
        sink_ += x;
      });
    }
  }
  ~BusyThreads() {
    stop_ = true;
    for (std::thread& thread : threads_) thread.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> sink_{0};
  std::vector<std::thread> threads_;
};
}  // namespace

int main() {
  auto server = bench::makeFetchServer();
  const std::string url = server->url("/small");
  size_t failures = 0;

  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");

  BusyThreads load;
  const bench::Medians medians = bench::medianSecondsInTurns(
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
      [&] {
        for (int i = 0; i < kFetches; ++i) failures += curl_easy_perform(easy) != CURLE_OK;
      },
      5);
  curl_easy_cleanup(easy);

  bench::report("fetchload", medians.ours / kFetches * 1e6, medians.baseline / kFetches * 1e6,
                "us/request");
  return failures == 0 ? 0 : 1;
}
