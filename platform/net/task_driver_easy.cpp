// A task driver's side of libcurl: setting up the easy handle for a leg, and the callbacks that
// carry the leg's bytes in and out.

#include <openssl/ssl.h>

#include "platform/foundation/url_error.h"
#include "platform/net/ascii.h"
#include "platform/net/curl_engine.h"
#include "platform/net/default_headers.h"
#include "platform/net/host.h"
#include "platform/net/task_driver.h"
#include "platform/net/task_driver_limits.h"
#include "platform/net/tls_session_cache.h"
#include "platform/net/trust_anchors.h"

namespace platform::net {

namespace {

bool isRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

Bytes derOf(X509* certificate) {
  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate, &der);
  const OpenSSLBytes owned(der);
  if (length <= 0) return {};
  return Bytes(der, der + length);
}

unsigned long authFor(const std::string& scheme) {
  if (equalsIgnoringCase(scheme, "basic")) return CURLAUTH_BASIC;
  if (equalsIgnoringCase(scheme, "digest")) return CURLAUTH_DIGEST;
  return CURLAUTH_ANY;
}

}  // namespace

void TaskDriver::configureEasy() {
  CURL* easy = easy_.get();
  curl_easy_setopt(easy, CURLOPT_URL, request_->url->absoluteString().c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer_);
  errorBuffer_[0] = '\0';
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  if (std::exchange(freshConnection_, false)) curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TaskDriver::onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TaskDriver::onWrite);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TaskDriver::onProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
  configureTLSAndCredentials();
  configureMethodAndHeaders();
}

void TaskDriver::configureTLSAndCredentials() {
  CURL* easy = easy_.get();
  // TLS: verification on unless the delegate accepted this server's key for the task.
  static constexpr long kVersions[] = {CURL_SSLVERSION_TLSv1_0, CURL_SSLVERSION_TLSv1_1,
                                       CURL_SSLVERSION_TLSv1_2, CURL_SSLVERSION_TLSv1_3};
  curl_easy_setopt(easy, CURLOPT_SSLVERSION,
                   kVersions[static_cast<int>(session_->configuration().minimumTLSVersion)]);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &TaskDriver::onSSLContext);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
  // The anchors are in the store onSSLContext gives (libcurl would otherwise parse the system's
  // bundle again for every connection), and no store of libcurl's replaces it.
  curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
  curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 0L);
  // Sessions are resumed across tasks (a handle serves task after task) only where libcurl's
  // settings for trust match those the session was made with, and only under the trust store it
  // was checked against; without that cache, none are.
  CURLSH* sessions = tlsSessionShare();
  curl_easy_setopt(easy, CURLOPT_SHARE, sessions);
  curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, sessions ? 1L : 0L);
  auto pin = acceptedPins_.find(hostKey());
  if (pin != acceptedPins_.end()) {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_PINNEDPUBLICKEY, pin->second.c_str());
  }
  // Credentials the delegate gave for this task.
  if (credential_[0]) {
    curl_easy_setopt(easy, CURLOPT_USERNAME, credential_[0]->user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, credential_[0]->password.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, authFor(credentialScheme_[0]));
  }
  if (credential_[1]) {
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, credential_[1]->user.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, credential_[1]->password.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, authFor(credentialScheme_[1]));
  }
}

void TaskDriver::configureMethodAndHeaders() {
  CURL* easy = easy_.get();
  const URLSessionConfiguration& configuration = session_->configuration();
  const std::string& method = request_->httpMethod.empty() ? "GET" : request_->httpMethod;
  if (method == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (!body_.empty()) {
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(body_.length()));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &TaskDriver::onRead);
    curl_easy_setopt(easy, CURLOPT_READDATA, this);
    curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &TaskDriver::onSeek);
    curl_easy_setopt(easy, CURLOPT_SEEKDATA, this);
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
  }

  // Header fields: the request's, the configuration's where the request has none, cookies.
  const auto add = [this](const std::string& name, const std::string& value) {
    // "Name;" sends a field with an empty value; "Name:" would remove it.
    appendHeader(headerList_, (value.empty() ? name + ";" : name + ": " + value).c_str());
  };
  for (const auto& [name, value] : request_->headers.fields()) add(name, value);
  for (const auto& [name, value] : configuration.httpAdditionalHeaders.fields()) {
    if (!request_->headers.contains(name)) add(name, value);
  }
  // No request leaves without saying who asks and in which languages.
  const auto named = [&](const char* name) {
    return request_->headers.contains(name) || configuration.httpAdditionalHeaders.contains(name);
  };
  if (!named("User-Agent")) add("User-Agent", defaultUserAgent());
  if (!named("Accept-Language")) add("Accept-Language", defaultAcceptLanguage());
  if (request_->httpShouldHandleCookies && configuration.httpShouldSetCookies &&
      configuration.cookieStorage && !request_->headers.contains("Cookie")) {
    const std::vector<HTTPCookie> cookies =
        configuration.cookieStorage->cookiesForURL(*request_->url);
    if (!cookies.empty()) add("Cookie", cookieHeaderValue(cookies));
  }
  if (!body_.empty() && method == "POST" && !request_->headers.contains("Content-Type")) {
    add("Content-Type", "application/x-www-form-urlencoded");
  }
  appendHeader(headerList_, "Expect:");  // no 100-continue round trip
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_.get());
}

CURLcode TaskDriver::onSSLContext(CURL*, void* context, void* self) {
  SSL_CTX* ssl = static_cast<SSL_CTX*>(context);
  // The store URL loading shares until the added anchors change (making one per connection costs
  // more than a short exchange), so the added anchors never leak into libcurl's and libcurl's
  // settings stay with URL loading; the context takes over a reference.
  SSL_CTX_set_cert_store(ssl, urlConnectionTrustStore().release());
  SSL_CTX_set_cert_verify_callback(ssl, &TaskDriver::onVerifyChain, self);
  return CURLE_OK;
}

int TaskDriver::onVerifyChain(X509_STORE_CTX* context, void* self) {
  // Keeps the presented chain for a server-trust challenge, then verifies as OpenSSL would.
  auto* driver = static_cast<TaskDriver*>(self);
  driver->peerChain_.clear();
  if (X509* leaf = X509_STORE_CTX_get0_cert(context)) driver->peerChain_.push_back(derOf(leaf));
  if (STACK_OF(X509)* untrusted = X509_STORE_CTX_get0_untrusted(context)) {
    for (int i = 0; i < sk_X509_num(untrusted); ++i) {
      X509* certificate = sk_X509_value(untrusted, i);
      if (certificate != X509_STORE_CTX_get0_cert(context)) {
        driver->peerChain_.push_back(derOf(certificate));
      }
    }
  }
  return X509_verify_cert(context);
}

size_t TaskDriver::onHeader(char* buffer, size_t size, size_t count, void* self) {
  return static_cast<TaskDriver*>(self)->headerLine(std::string_view(buffer, size * count));
}

size_t TaskDriver::headerLine(std::string_view line) {
  touch();
  switch (head_.addLine(line)) {
    case ResponseHeadParser::Line::Partial:
      return line.size();
    case ResponseHeadParser::Line::Malformed:
      abortError_ = makeURLError(kURLErrorBadServerResponse, urlText());
      return 0;
    case ResponseHeadParser::Line::HeadComplete:
      break;
  }
  URLResponse response;
  response.url = *request_->url;
  response.isHTTP = true;
  response.statusCode = head_.status();
  response.headers = head_.headers();
  curl_off_t length = -1;
  curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  response.expectedContentLength = length;
  applyContentType(response, response.headers.value("Content-Type").value_or(""));
  response_ = response;
  record_->setResponse(std::move(response));
  storeCookies();
  const int status = response_->statusCode;
  if (isRedirectStatus(status) && response_->headers.contains("Location")) {
    role_ = Role::Redirect;
  } else if ((status == 401 && response_->headers.contains("WWW-Authenticate")) ||
             (status == 407 && response_->headers.contains("Proxy-Authenticate"))) {
    role_ = Role::Challenge;
  } else {
    becomeFinal();
    if (abortError_) return 0;
  }
  return line.size();
}

void TaskDriver::storeCookies() {
  const URLSessionConfiguration& configuration = session_->configuration();
  if (!configuration.cookieStorage || !configuration.httpShouldSetCookies ||
      !request_->httpShouldHandleCookies || head_.setCookies().empty()) {
    return;
  }
  std::vector<HTTPCookie> cookies;
  for (const std::string& header : head_.setCookies()) {
    if (auto cookie = parseSetCookie(header, *request_->url, now())) cookies.push_back(*cookie);
  }
  if (!cookies.empty()) {
    configuration.cookieStorage->setCookies(cookies, *request_->url, request_->mainDocumentURL);
  }
}

size_t TaskDriver::onWrite(char* buffer, size_t size, size_t count, void* self) {
  return static_cast<TaskDriver*>(self)->bodyBytes(buffer, size * count);
}

size_t TaskDriver::bodyBytes(const char* data, size_t size) {
  touch();
  if (role_ != Role::Final) {
    const size_t room = kInterimBodyLimit - std::min(kInterimBodyLimit, held_.size());
    held_.insert(held_.end(), data, data + std::min(room, size));
    return size;
  }
  if (task_->kind() == URLSessionTask::Kind::Download) return downloadBytes(data, size);
  if (!dispositionAllowed_) {
    if (held_.size() + size > kHeldBodyLimit) {
      pausedReceiving_ = true;
      if (responsePending_) engine_.flushLater(task_->taskIdentifier());
      return CURL_WRITEFUNC_PAUSE;
    }
    held_.insert(held_.end(), data, data + size);
    return size;
  }
  if (record_->bytesInFlight > kInFlightLimit) {
    pausedReceiving_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  deliverData(Bytes(data, data + size));
  return size;
}

size_t TaskDriver::downloadBytes(const char* data, size_t size) {
  if (std::fwrite(data, 1, size, downloadFile_.get()) != size) {
    abortError_ = makeURLError(kURLErrorCannotWriteToFile, urlText());
    return 0;
  }
  const auto [total, expected] = record_->addBytesReceived(static_cast<int64_t>(size));
  session_->deliver(task_, false,
                    [task = task_, size, total = total, expected = expected](
                        URLSessionDelegate& delegate, URLSession& s) {
                      delegate.didWriteData(s, task, static_cast<int64_t>(size), total, expected);
                    });
  return size;
}

size_t TaskDriver::onRead(char* buffer, size_t size, size_t count, void* self) {
  auto* driver = static_cast<TaskDriver*>(self);
  driver->touch();
  LegBody::Outcome outcome = LegBody::Outcome::Bytes;
  std::optional<Error> failure;
  const size_t n = driver->body_.read(buffer, size * count, outcome, failure);
  switch (outcome) {
    case LegBody::Outcome::Bytes:
      return n;
    case LegBody::Outcome::Pause:
      driver->pausedSending_ = true;
      return CURL_READFUNC_PAUSE;
    case LegBody::Outcome::Abort:
      if (driver->body_.kind() == LegBody::Kind::Stream) {
        driver->abortError_ =
            failure.value_or(makeURLError(kURLErrorRequestBodyStreamExhausted, driver->urlText()));
      }
      return CURL_READFUNC_ABORT;
  }
  return CURL_READFUNC_ABORT;
}

int TaskDriver::onSeek(void* self, curl_off_t offset, int origin) {
  return static_cast<TaskDriver*>(self)->body_.seek(offset, origin);
}

int TaskDriver::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  auto* driver = static_cast<TaskDriver*>(self);
  if (uploaded <= driver->lastUploaded_) return 0;
  driver->touch();
  const int64_t sent = uploaded - driver->lastUploaded_;
  driver->lastUploaded_ = uploaded;
  const int64_t expected = driver->record_->setBytesSent(uploaded);
  driver->session_->deliver(driver->task_, false,
                            [task = driver->task_, sent, total = int64_t{uploaded}, expected](
                                URLSessionDelegate& delegate, URLSession& s) {
                              delegate.didSendBodyData(s, task, sent, total, expected);
                            });
  return 0;
}

}  // namespace platform::net
