// upload: 64 MB from a file in the app's documents, sent over loopback by the file-transfer
// plugin (multipart form, streamed through its bound stream pair) vs a raw libcurl POST of the
// same form's bytes from memory; wall time per upload.
#include <curl/curl.h>

#include <fstream>

#include "bench/bench_report.h"
#include "bench/transfer_bench.h"
#include "platform/storage/app_home.h"

namespace {
size_t discard(char*, size_t size, size_t count, void*) { return size * count; }
}  // namespace

int main() {
  const std::string body(bench::kTransferSize, 'u');
  auto server = bench::makeTransferServer(body);
  bench::TransferPlugins plugins;
  const auto source = platform::AppHome::documents() / "upload.bin";
  std::ofstream(source, std::ios::binary) << body;
  const std::string url = server->url("/upload");
  // The form the plugin sends for the file with no parameters and the default names.
  const std::optional<VKRUploadBody> form =
      VKRUploadBody::multipart({}, "file", "image.jpg", "image/jpeg", body.size());
  std::string formBytes(form->head.begin(), form->head.end());
  formBytes += body;
  formBytes.append(form->tail.begin(), form->tail.end());
  curl_slist* formType = curl_slist_append(
      nullptr,
      (std::string("Content-Type: multipart/form-data; boundary=") + kVKRFormBoundary).c_str());

  CURL* easy = curl_easy_init();
  bool curlFailed = false;
  const bench::Medians medians = bench::medianSecondsInTurns(
      [&] {
        plugins.run("upload", {source.string(), url, nullptr, nullptr, nullptr, nullptr, false,
                               true, nullptr, "up", nullptr});
      },
      [&] {
        curl_easy_reset(easy);
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, formBytes.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(formBytes.size()));
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, formType);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
        long status = 0;
        curlFailed = curlFailed || curl_easy_perform(easy) != CURLE_OK ||
                     curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
                     status != 200;
      },
      5);
  curl_easy_cleanup(easy);
  curl_slist_free_all(formType);

  bench::report("upload", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  return plugins.delegate->failed() || curlFailed ? 1 : 0;
}
