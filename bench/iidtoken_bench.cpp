// iidtoken: 1000 token requests of a scope that is never answered from the cache, through the
// VIZInstanceID facade against the local identity service (argument checks, check-in test, key
// pair (loaded once on a global queue, then held), signed form, fetch, reply parse, token cache
// write, answer on the main queue) vs the same signed POSTs made with one raw libcurl easy handle
// in a loop. The server closes each connection, so both sides connect every time and resume their
// TLS session. iidkeygen: one RSA-2048 key pair made and stored in the keychain vs OpenSSL's key
// generation.
#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include "bench/bench_report.h"
#include "instance_id/iid_utilities.h"
#include "instance_id/instance_id.h"
#include "instance_id/key_pair.h"
#include "instance_id/testing/identity_server.h"
#include "platform/dispatch/queue.h"
#include "platform/testing/test_app.h"

namespace {

constexpr int kRequests = 1000;

size_t discardBody(char*, size_t size, size_t count, void*) { return size * count; }

size_t facadeRequests(VIZInstanceID& iid, int count = kRequests) {
  size_t failures = 0;
  for (int i = 0; i < count; ++i) {
    bool done = false;
    iid.tokenWithAuthorizedEntity("123", "bench", {}, [&](const auto& token, const auto& error) {
      failures += error || !token;
      done = true;
    });
    while (!done) platform::runMainLoopOnce(std::chrono::seconds(1));
  }
  return failures;
}

size_t rawRequests(CURL* easy, int count = kRequests) {
  size_t failures = 0;
  for (int i = 0; i < count; ++i) failures += curl_easy_perform(easy) != CURLE_OK;
  return failures;
}

}  // namespace

int main() {
  platform::testing::TestApp app("com.example.iid-bench", {{"CFBundleShortVersionString", "1.0"}});
  instance_id_testing::IdentityServer server;
  server.setCheckinTimeMillis(VIZInstanceIDCurrentTimestampInMilliseconds());
  std::shared_ptr<VIZInstanceID> iid = VIZInstanceID::sharedInstance();
  iid->startWithConfig(VIZInstanceIDConfig::defaultConfig());
  size_t failures = facadeRequests(*iid, 20);  // checks in, makes the key pair, warms up

  // The facade's own request, replayed: same URL, header fields (libcurl adds Accept, Content-Type
  // and Content-Length as ours were) and signed body. The accepted encodings are those ours sent
  // (and the reply is decoded), so the server does the same work for both.
  const instance_id_testing::ReceivedRequest sent = server.requests("/iid/register").back();
  const std::string url = server.baseURL() + "/iid/register";
  const std::string& pem = platform::testing::HttpsServer::certificatePEM();
  curl_blob certificate{const_cast<char*>(pem.data()), pem.size(), CURL_BLOB_COPY};
  curl_slist* headers = nullptr;
  for (const char* name : {"authorization", "app", "info", "user-agent", "accept-language"}) {
    headers = curl_slist_append(headers, (std::string(name) + ": " + sent.header(name)).c_str());
  }
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &certificate);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, sent.header("accept-encoding").c_str());
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, sent.body.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discardBody);

  // Passes in turns, so load that comes and goes on the machine weighs on both alike.
  const bench::Medians passes = bench::medianSecondsInTurns(
      [&] { failures += facadeRequests(*iid); }, [&] { failures += rawRequests(easy); }, 3);
  curl_easy_cleanup(easy);
  curl_slist_free_all(headers);
  bench::report("iidtoken", passes.ours / kRequests * 1e3, passes.baseline / kRequests * 1e3,
                "ms/request");

  const bench::Medians keygen = bench::medianSecondsInTurns(
      [] { (void)VIZInstanceIDKeyPair::generateRSA2048KeyPair("bench|K|", "bench|P|"); },
      [] { EVP_PKEY_free(EVP_RSA_gen(2048)); }, 9);
  bench::report("iidkeygen", keygen.ours * 1e3, keygen.baseline * 1e3, "ms/pair");
  return failures == 0 && server.problems().empty() ? 0 : 1;
}
