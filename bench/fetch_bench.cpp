// fetch: 2000 sequential small GETs on loopback through the session fetcher (each fetch a new
// fetcher, its completion on the main queue) vs a raw libcurl easy handle reused in a loop.
#include "bench/bench_report.h"
#include "bench/fetch_loop.h"
#include "bench/fetch_server.h"

namespace {
constexpr int kFetches = 2000;
}  // namespace

int main() {
  auto server = bench::makeFetchServer();
  const std::string url = server->url("/small");
  size_t failures = 0;

  CURL* easy = bench::rawHandle(url);
  const bench::Medians medians = bench::medianSecondsInTurns(
      [&] { failures += bench::fetchInSequence(url, kFetches, 21); },
      [&] { failures += bench::rawFetchInSequence(easy, kFetches); }, 5);
  curl_easy_cleanup(easy);

  bench::report("fetch", medians.ours / kFetches * 1e6, medians.baseline / kFetches * 1e6,
                "us/request");
  return failures == 0 ? 0 : 1;
}
