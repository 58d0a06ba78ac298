// upload64: a 64 MB resumable upload in 8 MB chunks to the loopback upload server through the
// upload fetcher vs the same start request and PUTs made with one raw libcurl easy handle.
#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "bench/bench_report.h"
#include "platform/dispatch/queue.h"
#include "toolbox/upload/session_upload_fetcher.h"
#include "toolbox/upload/testing/upload_server.h"

namespace {

constexpr int64_t kBodySize = 64 * 1024 * 1024;
constexpr int64_t kChunkSize = 8 * 1024 * 1024;

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

size_t keepLocation(char* line, size_t size, size_t count, void* location) {
  const std::string header(line, size * count);
  const std::string name = "X-Zorova-Upload-URL: ";
  if (header.compare(0, name.size(), name) == 0) {
    *static_cast<std::string*>(location) =
        header.substr(name.size(), header.find_last_not_of("\r\n") + 1 - name.size());
  }
  return size * count;
}

struct Pending {
  const uint8_t* at;
  size_t left;
};

size_t readBody(char* buffer, size_t size, size_t count, void* pending) {
  auto* body = static_cast<Pending*>(pending);
  const size_t n = std::min(size * count, body->left);
  std::memcpy(buffer, body->at, n);
  body->at += n;
  body->left -= n;
  return n;
}

}  // namespace

int main() {
  upload_testing::UploadServer server(true);
  server.setKeepsBytes(false);
  const platform::Bytes body(kBodySize, 'u');
  size_t failures = 0;
  // The bytes each upload is handed (moved in, as a caller that made them for the upload would).
  platform::Bytes handedOver;

  const auto ours = [&] {
    platform::net::URLRequest request(platform::URL::parse(server.startURL()).value());
    auto upload = ZSDK_ZTMSessionUploadFetcher::uploadFetcherWithRequest(
        request, "application/octet-stream", kChunkSize);
    upload->setAllowLocalhostRequest(true);
    upload->setUseBackgroundSession(false);
    upload->setUploadData(std::move(handedOver));
    bool done = false;
    upload->beginFetchWithCompletionHandler([&](const auto&, const auto& error) {
      failures += error.has_value();
      done = true;
    });
    while (!done) platform::runMainLoopOnce(std::chrono::milliseconds(10));
  };

  CURL* easy = curl_easy_init();
  const auto baseline = [&] {
    std::string location;
    curl_slist* start = nullptr;
    for (const char* header :
         {"X-Zorova-Upload-Protocol: resumable", "X-Zorova-Upload-Command: start",
          "X-Zorova-Upload-Content-Type: application/octet-stream"}) {
      start = curl_slist_append(start, header);
    }
    start = curl_slist_append(
        start, ("X-Zorova-Upload-Content-Length: " + std::to_string(kBodySize)).c_str());
    curl_easy_reset(easy);
    curl_easy_setopt(easy, CURLOPT_URL, server.startURL().c_str());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, start);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &keepLocation);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &location);
    failures += curl_easy_perform(easy) != CURLE_OK || location.empty();
    curl_slist_free_all(start);
    for (int64_t offset = 0; offset < kBodySize; offset += kChunkSize) {
      const bool last = offset + kChunkSize >= kBodySize;
      curl_slist* headers = nullptr;
      headers = curl_slist_append(headers, last ? "X-Zorova-Upload-Command: upload, finalize"
                                                : "X-Zorova-Upload-Command: upload");
      headers =
          curl_slist_append(headers, ("X-Zorova-Upload-Offset: " + std::to_string(offset)).c_str());
      curl_easy_reset(easy);
      curl_easy_setopt(easy, CURLOPT_URL, location.c_str());
      Pending pending{body.data() + offset, static_cast<size_t>(kChunkSize)};
      curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
      curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(kChunkSize));
      curl_easy_setopt(easy, CURLOPT_READFUNCTION, &readBody);
      curl_easy_setopt(easy, CURLOPT_READDATA, &pending);
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
      long status = 0;
      failures += curl_easy_perform(easy) != CURLE_OK;
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
      failures += status != 200;
      curl_slist_free_all(headers);
    }
  };

  const bench::Medians times =
      bench::medianSecondsInTurns(ours, baseline, 5, [&] { handedOver = body; });
  curl_easy_cleanup(easy);
  bench::report("upload64", times.ours * 1e3, times.baseline * 1e3, "ms");
  return failures == 0 ? 0 : 1;
}
