// fetchload: the `fetch` loop (sequential small GETs on loopback, each a new fetcher, completion
// on the main queue) vs a raw libcurl easy handle, both while as many busy threads as the machine
// has cores run beside them, so the cost of waking threads on a loaded machine shows.
#include <atomic>
#include <thread>
#include <vector>

#include "bench/bench_report.h"
#include "bench/fetch_loop.h"
#include "bench/fetch_server.h"

namespace {
constexpr int kFetches = 500;

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
  CURL* easy = bench::rawHandle(url);
  {
    BusyThreads load;
    const bench::Medians medians = bench::medianSecondsInTurns(
        [&] { failures += bench::fetchInSequence(url, kFetches, 21); },
        [&] { failures += bench::rawFetchInSequence(easy, kFetches); }, 5);
    bench::report("fetchload", medians.ours / kFetches * 1e6, medians.baseline / kFetches * 1e6,
                  "us/request");
  }
  curl_easy_cleanup(easy);
  return failures == 0 ? 0 : 1;
}
