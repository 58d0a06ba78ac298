#pragma once

// The loops the fetch benchmarks time: sequential small GETs through the session fetcher (each
// fetch a new fetcher, its completion on the main queue), and the same through one raw libcurl
// easy handle reused.

#include <curl/curl.h>

#include <string>

#include "platform/dispatch/queue.h"
#include "toolbox/fetcher/session_fetcher.h"

namespace bench {

// Answers how many fetches failed or did not bring `expectedSize` bytes.
inline size_t fetchInSequence(const std::string& url, int count, size_t expectedSize) {
  size_t failures = 0;
  for (int i = 0; i < count; ++i) {
    auto fetcher = ZSDK_ZTMSessionFetcher::fetcherWithURLString(url);
    fetcher->setAllowLocalhostRequest(true);
    bool done = false;
    fetcher->beginFetchWithCompletionHandler([&](const auto& data, const auto& error) {
      failures += error || !data || data->size() != expectedSize;
      done = true;
    });
    while (!done) platform::runMainLoopOnce(std::chrono::seconds(1));
  }
  return failures;
}

inline size_t discardBody(char*, size_t size, size_t count, void*) { return size * count; }

// An easy handle for `url` that discards the body; the caller cleans it up.
inline CURL* rawHandle(const std::string& url) {
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discardBody);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  return easy;
}

inline size_t rawFetchInSequence(CURL* easy, int count) {
  size_t failures = 0;
  for (int i = 0; i < count; ++i) failures += curl_easy_perform(easy) != CURLE_OK;
  return failures;
}

}  // namespace bench
