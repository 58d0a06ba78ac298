#include "platform/net/task_driver.h"

#include <openssl/ssl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/dispatch/clock.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url_error.h"
#include "platform/net/ascii.h"
#include "platform/net/curl_engine.h"
#include "platform/net/curl_errors.h"
#include "platform/net/data_url.h"
#include "platform/net/host.h"
#include "platform/net/task_body.h"
#include "platform/net/trust_anchors.h"

namespace platform::net {

namespace {

// Body bytes held while the delegate decides on a response before the transfer pauses, and
// bytes handed to the delegate queue but not yet delivered before it pauses.
constexpr size_t kHeldBodyLimit = 1 << 20;
constexpr int64_t kInFlightLimit = 4 << 20;
// Body of a redirect or challenge response kept for the case it becomes the final response.
constexpr size_t kInterimBodyLimit = 64 << 10;
constexpr int kMaxRedirects = 16;
// How long a response head may wait for the rest of a small body before the delegate is asked.
constexpr std::chrono::milliseconds kResponseGrace{2};

bool isRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isHTTPScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

bool methodSendsBody(const std::string& method) {
  return !method.empty() && method != "GET" && method != "HEAD";
}

// A one-shot answer for the delegate: the first call is carried to the task's driver on the
// engine thread; an answer dropped without being called cancels the task.
template <typename... Args>
std::function<void(Args...)> answer(uint64_t task, void (TaskDriver::*apply)(Args...)) {
  struct Once {
    uint64_t task;
    std::atomic<bool> answered{false};
    ~Once() {
      if (!answered) CurlEngine::instance().withDriver(task, [](TaskDriver& d) { d.cancel(); });
    }
  };
  auto once = std::make_shared<Once>();
  once->task = task;
  return [once, apply](Args... args) {
    if (once->answered.exchange(true)) return;
    CurlEngine::instance().withDriver(
        once->task, [apply, values = std::make_tuple(std::move(args)...)](TaskDriver& d) mutable {
          std::apply([&](auto&&... v) { (d.*apply)(std::move(v)...); }, std::move(values));
        });
  };
}

// A file removed from disk when the last holder lets it go.
std::shared_ptr<const std::filesystem::path> removedWhenReleased(std::filesystem::path path) {
  return std::shared_ptr<const std::filesystem::path>(new std::filesystem::path(std::move(path)),
                                                      [](const std::filesystem::path* file) {
                                                        std::error_code ignored;
                                                        std::filesystem::remove(*file, ignored);
                                                        delete file;
                                                      });
}

Bytes derOf(X509* certificate) {
  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate, &der);
  if (length <= 0) return {};
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

}  // namespace

TaskDriver::TaskDriver(TaskPtr task) : task_(std::move(task)), session_(task_->session_) {}

TaskDriver::~TaskDriver() {
  removeTransfer();
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  curl_slist_free_all(headerList_);
  if (body_.file != nullptr) std::fclose(body_.file);
  discardDownloadFile();
}

void TaskDriver::discardDownloadFile() {
  if (downloadFile_ != nullptr) std::fclose(std::exchange(downloadFile_, nullptr));
  if (!downloadPath_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(std::exchange(downloadPath_, {}), ignored);
  }
}

std::string TaskDriver::urlText() const { return request_.urlString(); }

std::string TaskDriver::hostKey() const {
  const URL& url = *request_.url;
  return url.host().value_or("") + ":" + std::to_string(portOrDefault(url));
}

void TaskDriver::start() {
  request_ = task_->originalRequest_;
  const auto& body = *task_->body_;
  if (task_->cancelled_) return complete(makeURLError(kURLErrorCancelled, urlText()));
  if (body.kind == URLSessionTask::Body::Kind::ResumeData) {
    return complete(makeURLError(kURLErrorCannotResumeDownload));
  }
  if (!request_.url || (!request_.url->host() && request_.url->scheme() != "data")) {
    return complete(makeURLError(kURLErrorBadURL, urlText()));
  }
  const std::string scheme = request_.url->scheme();
  if (scheme == "data") return deliverDataURL();
  if (!isHTTPScheme(scheme)) return complete(makeURLError(kURLErrorUnsupportedURL, urlText()));
  if (body.kind == URLSessionTask::Body::Kind::Stream) {
    delegateStream_ = true;
    return askForBodyStream();
  }
  startLeg();
}

void TaskDriver::askForBodyStream() {
  phase_ = Phase::AwaitingBodyStream;
  session_->deliver(task_, false, [task = task_](URLSessionDelegate& delegate, URLSession& s) {
    delegate.needNewBodyStream(s, task,
                               answer(task->taskIdentifier(), &TaskDriver::answerBodyStream));
  });
}

void TaskDriver::answerBodyStream(std::shared_ptr<InputStream> stream) {
  if (phase_ != Phase::AwaitingBodyStream) return;
  if (!stream) return complete(makeURLError(kURLErrorRequestBodyStreamExhausted, urlText()));
  if (bodyStream_) bodyStream_->close();
  bodyStream_ = std::move(stream);
  bodyStream_->open();
  const uint64_t id = task_->taskIdentifier();
  bodyStream_->setWaker(
      [id] { CurlEngine::instance().withDriver(id, [](TaskDriver& d) { d.resumeSending(); }); });
  startLeg();
}

bool TaskDriver::prepareBody() {
  if (body_.file != nullptr) std::fclose(body_.file);
  body_ = LegBody();
  const auto& taskBody = *task_->body_;
  using Kind = URLSessionTask::Body::Kind;
  // An upload task's own body goes with its first request whatever the method; after a
  // redirect, only with a method that sends one.
  const bool uploadBody =
      taskBody.kind == Kind::Data || taskBody.kind == Kind::File || delegateStream_;
  if (!methodSendsBody(request_.httpMethod) && !(uploadBody && redirects_ == 0)) return true;
  if (taskBody.kind == Kind::Data) {
    body_.kind = LegBody::Kind::Data;
    body_.data = &taskBody.data;
  } else if (taskBody.kind == Kind::File) {
    body_.kind = LegBody::Kind::File;
    body_.file = std::fopen(taskBody.file.c_str(), "rb");
    std::error_code failed;
    const auto size = std::filesystem::file_size(taskBody.file, failed);
    if (body_.file == nullptr || failed) {
      complete(makeURLError(kURLErrorFileDoesNotExist, urlText()));
      return false;
    }
    body_.length = static_cast<int64_t>(size);
    return true;
  } else if (delegateStream_) {
    body_.kind = LegBody::Kind::Stream;
    body_.stream = bodyStream_;
  } else if (request_.httpBody) {
    body_.kind = LegBody::Kind::Data;
    body_.data = &*request_.httpBody;
  } else if (request_.httpBodyStream) {
    body_.kind = LegBody::Kind::Stream;
    body_.stream = request_.httpBodyStream;
    body_.stream->open();
  } else if (request_.httpMethod == "POST" || request_.httpMethod == "PUT" ||
             request_.httpMethod == "PATCH") {
    static const Bytes kEmpty;
    body_.kind = LegBody::Kind::Data;  // sent with "Content-Length: 0", as servers expect
    body_.data = &kEmpty;
  }
  if (body_.kind == LegBody::Kind::Data) body_.length = static_cast<int64_t>(body_.data->size());
  if (body_.kind == LegBody::Kind::Stream) body_.length = body_.stream->length();
  return true;
}

void TaskDriver::startLeg() {
  for (const HTTPHeaderFields* fields :
       {&std::as_const(request_.headers), &session_->configuration().httpAdditionalHeaders}) {
    for (const auto& [name, value] : fields->fields()) {
      if (!isValidHeaderField(name, value)) {
        Error error = makeURLError(kURLErrorBadURL, urlText());
        error.mutableUserInfo().set(Error::kFailureReasonKey, "invalid header field " + name);
        return complete(std::move(error));
      }
    }
  }
  if (!prepareBody()) return;
  {
    std::lock_guard lock(task_->mutex_);
    task_->currentRequest_ = request_;
    task_->bytesExpectedToSend_ = body_.kind == LegBody::Kind::None ? 0 : body_.length;
  }
  if (easy_ == nullptr) {
    easy_ = curl_easy_init();
  } else {
    curl_easy_reset(easy_);
  }
  curl_slist_free_all(headerList_);
  headerList_ = nullptr;
  role_ = Role::Unknown;
  head_ = ResponseHeadParser();
  held_.clear();
  result_.reset();
  abortError_.reset();
  peerChain_.clear();
  lastUploaded_ = 0;
  pausedReceiving_ = pausedSending_ = false;
  configureEasy(headerList_);
  const double idle = std::min(request_.timeoutInterval > 0 ? request_.timeoutInterval : 1e9,
                               session_->configuration().timeoutIntervalForRequest > 0
                                   ? session_->configuration().timeoutIntervalForRequest
                                   : 1e9);
  idleLimit_ = std::chrono::milliseconds(static_cast<int64_t>(std::min(idle, 1e9) * 1000));
  lastActivity_ = std::chrono::steady_clock::now();
  phase_ = Phase::Transferring;
  CurlEngine::instance().addHandle(easy_);
  inMulti_ = true;
}

void TaskDriver::configureEasy(curl_slist*& headers) {
  const URLSessionConfiguration& configuration = session_->configuration();
  const URL& url = *request_.url;
  CURL* easy = easy_;
  curl_easy_setopt(easy, CURLOPT_URL, url.absoluteString().c_str());
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
  if (configuration.timeoutIntervalForResource > 0) {
    curl_easy_setopt(
        easy, CURLOPT_TIMEOUT_MS,
        static_cast<long>(std::min(configuration.timeoutIntervalForResource, 2e6) * 1000));
  }

  // TLS: verification on unless the delegate accepted this server's key for the task.
  static constexpr long kVersions[] = {CURL_SSLVERSION_TLSv1_0, CURL_SSLVERSION_TLSv1_1,
                                       CURL_SSLVERSION_TLSv1_2, CURL_SSLVERSION_TLSv1_3};
  curl_easy_setopt(easy, CURLOPT_SSLVERSION,
                   kVersions[static_cast<int>(configuration.minimumTLSVersion)]);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &TaskDriver::onSSLContext);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
  auto pin = acceptedPins_.find(hostKey());
  if (pin != acceptedPins_.end()) {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_PINNEDPUBLICKEY, pin->second.c_str());
  }

  // Credentials the delegate gave for this task.
  static const auto authFor = [](const std::string& scheme) {
    if (equalsIgnoringCase(scheme, "basic")) return static_cast<unsigned long>(CURLAUTH_BASIC);
    if (equalsIgnoringCase(scheme, "digest")) return static_cast<unsigned long>(CURLAUTH_DIGEST);
    return static_cast<unsigned long>(CURLAUTH_ANY);
  };
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

  // Method and body.
  const std::string& method = request_.httpMethod.empty() ? "GET" : request_.httpMethod;
  if (method == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (body_.kind != LegBody::Kind::None) {
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(body_.length));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &TaskDriver::onRead);
    curl_easy_setopt(easy, CURLOPT_READDATA, this);
    curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &TaskDriver::onSeek);
    curl_easy_setopt(easy, CURLOPT_SEEKDATA, this);
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
  }

  // Header fields: the request's, the configuration's where the request has none, cookies.
  const auto add = [&headers](const std::string& name, const std::string& value) {
    // "Name;" sends a field with an empty value; "Name:" would remove it.
    const std::string line = value.empty() ? name + ";" : name + ": " + value;
    headers = curl_slist_append(headers, line.c_str());
  };
  for (const auto& [name, value] : request_.headers.fields()) add(name, value);
  for (const auto& [name, value] : configuration.httpAdditionalHeaders.fields()) {
    if (!request_.headers.contains(name)) add(name, value);
  }
  if (request_.httpShouldHandleCookies && configuration.httpShouldSetCookies &&
      configuration.cookieStorage && !request_.headers.contains("Cookie")) {
    const std::vector<HTTPCookie> cookies = configuration.cookieStorage->cookiesForURL(url);
    if (!cookies.empty()) add("Cookie", cookieHeaderValue(cookies));
  }
  if (body_.kind != LegBody::Kind::None && method == "POST" &&
      !request_.headers.contains("Content-Type")) {
    add("Content-Type", "application/x-www-form-urlencoded");
  }
  headers = curl_slist_append(headers, "Expect:");  // no 100-continue round trip
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
}

CURLcode TaskDriver::onSSLContext(CURL*, void* context, void* self) {
  SSL_CTX* ssl = static_cast<SSL_CTX*>(context);
  // A store of its own, so the added anchors never leak into libcurl's shared one.
  if (hasTrustedAnchors()) SSL_CTX_set_cert_store(ssl, makeTrustStore());
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
  lastActivity_ = std::chrono::steady_clock::now();
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
  response.url = *request_.url;
  response.isHTTP = true;
  response.statusCode = head_.status();
  response.headers = head_.headers();
  curl_off_t length = -1;
  curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  response.expectedContentLength = length;
  applyContentType(response, response.headers.value("Content-Type").value_or(""));
  response_ = std::move(response);
  {
    std::lock_guard lock(task_->mutex_);
    task_->response_ = response_;
    task_->bytesExpectedToReceive_ = response_->expectedContentLength;
  }
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
      !request_.httpShouldHandleCookies || head_.setCookies().empty()) {
    return;
  }
  std::vector<HTTPCookie> cookies;
  for (const std::string& header : head_.setCookies()) {
    if (auto cookie = parseSetCookie(header, *request_.url, now())) cookies.push_back(*cookie);
  }
  if (!cookies.empty()) {
    configuration.cookieStorage->setCookies(cookies, *request_.url, request_.mainDocumentURL);
  }
}

// The current response is the one the task reports: ask the delegate about it (data tasks) or
// open the file it goes to (download tasks).
void TaskDriver::becomeFinal() {
  role_ = Role::Final;
  if (task_->kind() == URLSessionTask::Kind::Download) {
    if (!openDownloadFile()) return;
    if (!held_.empty()) {
      bodyBytes(reinterpret_cast<const char*>(held_.data()), held_.size());
      held_.clear();
    }
    return;
  }
  // Asked once the transfer ends or a moment has passed, whichever is first: a small body is
  // then all in, and one delivery can carry everything (see speculate()).
  dispositionAsked_ = true;
  responsePending_ = true;
  responseHeldSince_ = std::chrono::steady_clock::now();
  CurlEngine::instance().flushLater(task_->taskIdentifier());
}

void TaskDriver::flush() {
  if (!responsePending_ || phase_ == Phase::Finished) return;
  if (phase_ == Phase::Transferring && !pausedReceiving_ &&
      std::chrono::steady_clock::now() < responseHeldSince_ + kResponseGrace) {
    return;  // the engine flushes again when the transfer ends or the moment has passed
  }
  responsePending_ = false;
  if (phase_ == Phase::Finishing && result_) return speculate();
  session_->deliver(
      task_, false,
      [task = task_, response = *response_](URLSessionDelegate& delegate, URLSession& s) {
        delegate.didReceiveResponse(s, task, response,
                                    answer(task->taskIdentifier(), &TaskDriver::answerDisposition));
      });
}

// The response, its whole body and the outcome are known: one delivery asks about the response
// and, when the delegate answers during the call (as most do), hands over the body and the
// completion at once, sparing two trips between the threads. A later answer takes the usual way.
void TaskDriver::speculate() {
  speculating_ = true;
  heldBody_ = std::make_shared<Bytes>(std::move(held_));
  held_.clear();
  if (*result_ != CURLE_OK) outcome_ = urlErrorForCurlCode(*result_, urlText(), errorBuffer_);
  struct Answer {
    uint64_t task = 0;
    std::mutex mutex;
    bool inCall = true;
    bool answered = false;
    std::optional<ResponseDisposition> early;
    ~Answer() {
      if (!answered) CurlEngine::instance().withDriver(task, [](TaskDriver& d) { d.cancel(); });
    }
  };
  session_->deliver(
      task_, false,
      [task = task_, response = *response_, body = heldBody_, outcome = outcome_, url = urlText()](
          URLSessionDelegate& delegate, URLSession& s) {
        auto decision = std::make_shared<Answer>();
        decision->task = task->taskIdentifier();
        delegate.didReceiveResponse(s, task, response, [decision](ResponseDisposition choice) {
          std::unique_lock lock(decision->mutex);
          if (decision->answered) return;
          decision->answered = true;
          if (decision->inCall) {
            decision->early = choice;
            return;
          }
          lock.unlock();
          CurlEngine::instance().withDriver(
              decision->task, [choice](TaskDriver& d) { d.answerDisposition(choice); });
        });
        std::optional<ResponseDisposition> early;
        {
          std::lock_guard lock(decision->mutex);
          decision->inCall = false;
          early = decision->early;
        }
        if (!early) return;  // answered later, through the engine
        const bool allowed = *early == ResponseDisposition::Allow;
        if (allowed && !body->empty() && !task->cancelled_) {
          {
            std::lock_guard lock(task->mutex_);
            task->bytesReceived_ += static_cast<int64_t>(body->size());
          }
          delegate.didReceiveData(s, task, *body);
        }
        s.finishTask(task, allowed ? outcome : makeURLError(kURLErrorCancelled, url));
        CurlEngine::instance().withDriver(task->taskIdentifier(),
                                          [](TaskDriver& d) { d.finishDelivered(); });
      });
}

bool TaskDriver::openDownloadFile() {
  std::filesystem::path folder = session_->configuration().downloadDirectory;
  std::error_code ignored;
  if (folder.empty()) folder = std::filesystem::temp_directory_path(ignored);
  std::string pattern = (folder / "vokaru-download-XXXXXX").string();
  const int fd = ::mkstemp(pattern.data());
  if (fd >= 0) downloadFile_ = ::fdopen(fd, "wb");
  if (downloadFile_ == nullptr) {
    if (fd >= 0) ::close(fd);
    abortError_ = makeURLError(kURLErrorCannotCreateFile, urlText());
    return false;
  }
  downloadPath_ = pattern;
  return true;
}

size_t TaskDriver::onWrite(char* buffer, size_t size, size_t count, void* self) {
  return static_cast<TaskDriver*>(self)->bodyBytes(buffer, size * count);
}

size_t TaskDriver::bodyBytes(const char* data, size_t size) {
  lastActivity_ = std::chrono::steady_clock::now();
  if (role_ != Role::Final) {
    const size_t room = kInterimBodyLimit - std::min(kInterimBodyLimit, held_.size());
    held_.insert(held_.end(), data, data + std::min(room, size));
    return size;
  }
  if (task_->kind() == URLSessionTask::Kind::Download) {
    if (std::fwrite(data, 1, size, downloadFile_) != size) {
      abortError_ = makeURLError(kURLErrorCannotWriteToFile, urlText());
      return 0;
    }
    int64_t total = 0;
    int64_t expected = -1;
    {
      std::lock_guard lock(task_->mutex_);
      total = task_->bytesReceived_ += static_cast<int64_t>(size);
      expected = task_->bytesExpectedToReceive_;
    }
    session_->deliver(
        task_, false,
        [task = task_, size, total, expected](URLSessionDelegate& delegate, URLSession& s) {
          delegate.didWriteData(s, task, static_cast<int64_t>(size), total, expected);
        });
    return size;
  }
  if (!dispositionAllowed_) {
    if (held_.size() + size > kHeldBodyLimit) {
      pausedReceiving_ = true;
      if (responsePending_) CurlEngine::instance().flushLater(task_->taskIdentifier());
      return CURL_WRITEFUNC_PAUSE;
    }
    held_.insert(held_.end(), data, data + size);
    return size;
  }
  if (task_->bytesInFlight_ > kInFlightLimit) {
    pausedReceiving_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  deliverData(Bytes(data, data + size));
  return size;
}

void TaskDriver::deliverData(Bytes data) {
  if (data.empty()) return;
  const auto size = static_cast<int64_t>(data.size());
  {
    std::lock_guard lock(task_->mutex_);
    task_->bytesReceived_ += size;
  }
  task_->bytesInFlight_ += size;
  session_->deliver(
      task_, false,
      [task = task_, data = std::move(data), size](URLSessionDelegate& delegate, URLSession& s) {
        delegate.didReceiveData(s, task, data);
        const int64_t left = task->bytesInFlight_ -= size;
        if (left <= kInFlightLimit && left + size > kInFlightLimit) {
          CurlEngine::instance().withDriver(task->taskIdentifier(),
                                            [](TaskDriver& d) { d.resumeReceiving(); });
        }
      });
}

size_t TaskDriver::onRead(char* buffer, size_t size, size_t count, void* self) {
  auto* driver = static_cast<TaskDriver*>(self);
  LegBody& body = driver->body_;
  const size_t capacity = size * count;
  driver->lastActivity_ = std::chrono::steady_clock::now();
  switch (body.kind) {
    case LegBody::Kind::None:
      return 0;
    case LegBody::Kind::Data: {
      const size_t n = std::min(capacity, body.data->size() - body.offset);
      std::memcpy(buffer, body.data->data() + body.offset, n);
      body.offset += n;
      return n;
    }
    case LegBody::Kind::File: {
      const size_t n = std::fread(buffer, 1, capacity, body.file);
      if (n == 0 && std::ferror(body.file)) return CURL_READFUNC_ABORT;
      return n;
    }
    case LegBody::Kind::Stream: {
      const int64_t n = body.stream->read(reinterpret_cast<uint8_t*>(buffer), capacity);
      if (n == InputStream::kWouldBlock) {
        driver->pausedSending_ = true;
        return CURL_READFUNC_PAUSE;
      }
      if (n < 0) {
        driver->abortError_ = body.stream->streamError().value_or(
            makeURLError(kURLErrorRequestBodyStreamExhausted, driver->urlText()));
        return CURL_READFUNC_ABORT;
      }
      return static_cast<size_t>(n);
    }
  }
  return CURL_READFUNC_ABORT;
}

int TaskDriver::onSeek(void* self, curl_off_t offset, int origin) {
  LegBody& body = static_cast<TaskDriver*>(self)->body_;
  if (origin != SEEK_SET || offset < 0) return CURL_SEEKFUNC_CANTSEEK;
  switch (body.kind) {
    case LegBody::Kind::Data:
      if (static_cast<size_t>(offset) > body.data->size()) return CURL_SEEKFUNC_FAIL;
      body.offset = static_cast<size_t>(offset);
      return CURL_SEEKFUNC_OK;
    case LegBody::Kind::File:
      return std::fseek(body.file, static_cast<long>(offset), SEEK_SET) == 0 ? CURL_SEEKFUNC_OK
                                                                             : CURL_SEEKFUNC_FAIL;
    case LegBody::Kind::Stream:
      return offset == 0 && body.stream->rewind() ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_CANTSEEK;
    case LegBody::Kind::None:
      break;
  }
  return CURL_SEEKFUNC_CANTSEEK;
}

int TaskDriver::onProgress(void* self, curl_off_t, curl_off_t downloaded, curl_off_t,
                           curl_off_t uploaded) {
  auto* driver = static_cast<TaskDriver*>(self);
  if (uploaded > driver->lastUploaded_) {
    driver->lastActivity_ = std::chrono::steady_clock::now();
    const int64_t sent = uploaded - driver->lastUploaded_;
    driver->lastUploaded_ = uploaded;
    int64_t expected = 0;
    {
      std::lock_guard lock(driver->task_->mutex_);
      driver->task_->bytesSent_ = uploaded;
      expected = driver->task_->bytesExpectedToSend_;
    }
    driver->session_->deliver(driver->task_, false,
                              [task = driver->task_, sent, total = int64_t{uploaded}, expected](
                                  URLSessionDelegate& delegate, URLSession& s) {
                                delegate.didSendBodyData(s, task, sent, total, expected);
                              });
  }
  (void)downloaded;
  return 0;
}

void TaskDriver::transferDone(CURLcode code) {
  inMulti_ = false;
  if (phase_ == Phase::Finished) return;
  if (abortError_) return complete(*abortError_);
  if (code == CURLE_PEER_FAILED_VERIFICATION && !peerChain_.empty() &&
      acceptedPins_.count(hostKey()) == 0) {
    return challengeServerTrust();
  }
  // A kept-alive connection the server closed just as the request went out: the request never
  // arrived, so it goes once more on a new connection, as it would have in the first place.
  long newConnections = 0;
  curl_easy_getinfo(easy_, CURLINFO_NUM_CONNECTS, &newConnections);
  if ((code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING) &&
      newConnections == 0 && role_ == Role::Unknown && !retriedOnFreshConnection_) {
    retriedOnFreshConnection_ = true;
    freshConnection_ = true;
    return restartLeg();
  }
  result_ = code;
  if (code != CURLE_OK && role_ != Role::Final) {
    return complete(urlErrorForCurlCode(code, urlText(), errorBuffer_));
  }
  switch (role_) {
    case Role::Redirect:
      return proposeRedirect();
    case Role::Challenge:
      return challengeAuthentication();
    case Role::Final:
      phase_ = Phase::Finishing;
      if (responsePending_) CurlEngine::instance().flushLater(task_->taskIdentifier());
      return advance();
    case Role::Unknown:
      return complete(makeURLError(kURLErrorBadServerResponse, urlText()));
  }
}

void TaskDriver::advance() {
  if (phase_ != Phase::Finishing && phase_ != Phase::Transferring) return;
  if (task_->kind() != URLSessionTask::Kind::Download) {
    if (!dispositionAllowed_) return;  // still waiting for the delegate
    deliverData(std::move(held_));
    held_.clear();
  }
  if (!result_) return;  // the transfer goes on
  if (*result_ != CURLE_OK) return complete(urlErrorForCurlCode(*result_, urlText(), errorBuffer_));
  if (task_->kind() == URLSessionTask::Kind::Download) {
    // The last buffered bytes reach the disk here; a full disk shows only now.
    const bool written = std::fclose(std::exchange(downloadFile_, nullptr)) == 0;
    if (!written) return complete(makeURLError(kURLErrorCannotWriteToFile, urlText()));
    // The delegate gets the file; it is removed once the delegate call returns, or with the call
    // when a cancel drops it.
    session_->deliver(task_, false,
                      [task = task_, file = removedWhenReleased(std::exchange(downloadPath_, {}))](
                          URLSessionDelegate& delegate, URLSession& s) mutable {
                        delegate.didFinishDownloadingTo(s, task, *file);
                        file.reset();
                      });
  }
  complete(std::nullopt);
}

void TaskDriver::answerDisposition(ResponseDisposition disposition) {
  if (!dispositionAsked_ || dispositionAllowed_ || phase_ == Phase::Finished) return;
  if (disposition != ResponseDisposition::Allow) {
    return complete(makeURLError(kURLErrorCancelled, urlText()));
  }
  dispositionAllowed_ = true;
  if (speculating_) {
    deliverData(std::move(*heldBody_));
    return complete(outcome_);
  }
  advance();
  if (phase_ == Phase::Transferring) unpause();
}

void TaskDriver::resumeReceiving() {
  if (phase_ == Phase::Transferring && pausedReceiving_ &&
      task_->bytesInFlight_ <= kInFlightLimit) {
    pausedReceiving_ = false;
    unpause();
  }
}

void TaskDriver::resumeSending() {
  if (phase_ == Phase::Transferring && pausedSending_) {
    pausedSending_ = false;
    unpause();
  }
}

void TaskDriver::unpause() {
  if (!inMulti_) return;
  if (dispositionAllowed_ && task_->bytesInFlight_ <= kInFlightLimit) pausedReceiving_ = false;
  lastActivity_ = std::chrono::steady_clock::now();
  curl_easy_pause(easy_,
                  (pausedReceiving_ ? CURLPAUSE_RECV : 0) | (pausedSending_ ? CURLPAUSE_SEND : 0));
}

void TaskDriver::proposeRedirect() {
  const URLResponse& response = *response_;
  Result<URL> target = request_.url->resolve(response.headers.value("Location").value_or(""));
  if (!target.ok() || !isHTTPScheme(target->scheme()) || !target->host()) {
    // Nowhere this session can go: the redirect response is the answer.
    becomeFinal();
    if (abortError_) return complete(*abortError_);
    phase_ = Phase::Finishing;
    return advance();
  }
  if (++redirects_ > kMaxRedirects) {
    return complete(makeURLError(kURLErrorHTTPTooManyRedirects, urlText()));
  }
  URLRequest proposed = request_;
  proposed.url = *target;
  const int status = response.statusCode;
  const std::string& method = request_.httpMethod;
  if ((status == 303 && method != "HEAD") ||
      ((status == 301 || status == 302) && method == "POST")) {
    proposed.httpMethod = "GET";
    proposed.httpBody.reset();
    proposed.httpBodyStream.reset();
    proposed.headers.remove("Content-Type");
    proposed.headers.remove("Content-Length");
  }
  // Credentials stay with the origin that asked for them.
  if (!sameOrigin(*request_.url, *target)) proposed.headers.remove("Authorization");
  phase_ = Phase::AwaitingRedirect;
  session_->deliver(task_, false,
                    [task = task_, response, proposed = std::move(proposed)](
                        URLSessionDelegate& delegate, URLSession& s) mutable {
                      delegate.willPerformHTTPRedirection(
                          s, task, response, std::move(proposed),
                          answer(task->taskIdentifier(), &TaskDriver::answerRedirect));
                    });
}

void TaskDriver::answerRedirect(std::optional<URLRequest> request) {
  if (phase_ != Phase::AwaitingRedirect) return;
  if (!request) {
    becomeFinal();
    if (abortError_) return complete(*abortError_);
    phase_ = Phase::Finishing;
    return advance();
  }
  if (!request->url || !isHTTPScheme(request->url->scheme()) || !request->url->host()) {
    return complete(makeURLError(kURLErrorUnsupportedURL, request->urlString()));
  }
  if (!sameOrigin(*request_.url, *request->url)) {
    credential_[0].reset();
    failedAnswers_[0] = 0;
  }
  request_ = std::move(*request);
  restartLeg();
}

// Starts the next leg, with a fresh body stream when the body is streamed and cannot rewind.
void TaskDriver::restartLeg() {
  const bool streamed = delegateStream_ || (!request_.httpBody && request_.httpBodyStream &&
                                            task_->body_->kind == URLSessionTask::Body::Kind::None);
  const std::shared_ptr<InputStream>& stream =
      delegateStream_ ? bodyStream_ : request_.httpBodyStream;
  if (streamed && methodSendsBody(request_.httpMethod) && !(stream && stream->rewind())) {
    // A spent stream of the request gives way to the delegate's.
    delegateStream_ = true;
    return askForBodyStream();
  }
  startLeg();
}

void TaskDriver::challengeAuthentication() {
  const bool proxy = response_->statusCode == 407;
  const AuthenticateHeader header = parseAuthenticateHeader(
      response_->headers.value(proxy ? "Proxy-Authenticate" : "WWW-Authenticate").value_or(""));
  URLAuthenticationChallenge challenge;
  const URL& url = *request_.url;
  challenge.protectionSpace.host = url.host().value_or("");
  challenge.protectionSpace.port = portOrDefault(url);
  challenge.protectionSpace.protocol = url.scheme();
  challenge.protectionSpace.realm = header.realm;
  challenge.protectionSpace.isProxy = proxy;
  challenge.protectionSpace.authenticationMethod =
      equalsIgnoringCase(header.scheme, "basic")    ? kAuthenticationMethodHTTPBasic
      : equalsIgnoringCase(header.scheme, "digest") ? kAuthenticationMethodHTTPDigest
                                                    : kAuthenticationMethodDefault;
  // A challenge that comes back after a credential was sent means that credential failed.
  if (credential_[proxy ? 1 : 0]) ++failedAnswers_[proxy ? 1 : 0];
  challenge.previousFailureCount = failedAnswers_[proxy ? 1 : 0];
  challenge.failureResponse = response_;
  credentialScheme_[proxy ? 1 : 0] = header.scheme;
  phase_ = Phase::AwaitingChallenge;
  session_->deliver(
      task_, false, [task = task_, challenge](URLSessionDelegate& delegate, URLSession& s) {
        delegate.didReceiveChallenge(s, task, challenge,
                                     answer(task->taskIdentifier(), &TaskDriver::answerChallenge));
      });
}

void TaskDriver::challengeServerTrust() {
  auto trust = std::make_shared<ServerTrust>(request_.url->host().value_or(""), peerChain_);
  URLAuthenticationChallenge challenge;
  challenge.protectionSpace.host = trust->host();
  challenge.protectionSpace.port = request_.url->port().value_or(443);
  challenge.protectionSpace.protocol = "https";
  challenge.protectionSpace.authenticationMethod = kAuthenticationMethodServerTrust;
  challenge.protectionSpace.serverTrust = trust;
  role_ = Role::Unknown;
  phase_ = Phase::AwaitingChallenge;
  session_->deliver(
      task_, false, [task = task_, challenge](URLSessionDelegate& delegate, URLSession& s) {
        delegate.didReceiveChallenge(s, task, challenge,
                                     answer(task->taskIdentifier(), &TaskDriver::answerChallenge));
      });
}

void TaskDriver::answerChallenge(AuthChallengeDisposition disposition,
                                 std::optional<URLCredential> credential) {
  if (phase_ != Phase::AwaitingChallenge) return;
  if (disposition == AuthChallengeDisposition::CancelAuthenticationChallenge) {
    return complete(makeURLError(kURLErrorCancelled, urlText()));
  }
  const bool useCredential = disposition == AuthChallengeDisposition::UseCredential && credential;
  if (role_ == Role::Unknown) {  // server trust
    if (!useCredential || !credential->serverTrust) {
      return complete(makeURLError(kURLErrorServerCertificateUntrusted, urlText()));
    }
    const std::string pin =
        ServerTrust(request_.url->host().value_or(""), peerChain_).publicKeyPin();
    if (pin.empty()) return complete(makeURLError(kURLErrorServerCertificateUntrusted, urlText()));
    acceptedPins_[hostKey()] = pin;
    return restartLeg();
  }
  if (!useCredential || credential->serverTrust) {
    // No credential: the challenge response itself is the answer.
    becomeFinal();
    if (abortError_) return complete(*abortError_);
    phase_ = Phase::Finishing;
    return advance();
  }
  credential_[response_->statusCode == 407 ? 1 : 0] = std::move(credential);
  restartLeg();
}

void TaskDriver::deliverDataURL() {
  Result<DataURLContent> content = decodeDataURL(request_.url->absoluteString());
  if (!content.ok()) return complete(content.error());
  URLResponse response;
  response.url = *request_.url;
  response.expectedContentLength = static_cast<int64_t>(content->data.size());
  response.mimeType = content->mimeType;
  response.textEncodingName = content->charset;
  response_ = response;
  {
    std::lock_guard lock(task_->mutex_);
    task_->response_ = response_;
    task_->bytesExpectedToReceive_ = response.expectedContentLength;
  }
  result_ = CURLE_OK;
  phase_ = Phase::Finishing;
  if (task_->kind() == URLSessionTask::Kind::Download) {
    held_ = std::move(content->data);
    becomeFinal();
    if (abortError_) return complete(*abortError_);
  } else {
    becomeFinal();
    held_ = std::move(content->data);
  }
  advance();
}

void TaskDriver::cancel() {
  if (phase_ != Phase::Finished) complete(makeURLError(kURLErrorCancelled, urlText()));
}

void TaskDriver::onDeadline(TimePoint now) {
  if (responsePending_ && now >= responseHeldSince_ + kResponseGrace) flush();
  if (phase_ == Phase::Transferring && inMulti_ && !pausedReceiving_ && !pausedSending_ &&
      now >= lastActivity_ + idleLimit_) {
    complete(makeURLError(kURLErrorTimedOut, urlText()));
  }
}

std::optional<TaskDriver::TimePoint> TaskDriver::nextDeadline() const {
  std::optional<TimePoint> next;
  if (responsePending_) next = responseHeldSince_ + kResponseGrace;
  if (phase_ == Phase::Transferring && inMulti_ && !pausedReceiving_ && !pausedSending_) {
    const TimePoint idle = lastActivity_ + idleLimit_;
    next = next ? std::min(*next, idle) : idle;
  }
  return next;
}

void TaskDriver::removeTransfer() {
  if (inMulti_) CurlEngine::instance().removeHandle(easy_);
  inMulti_ = false;
}

void TaskDriver::complete(std::optional<Error> error) {
  if (phase_ == Phase::Finished) return;
  finishDelivered();
  session_->completeTask(task_, std::move(error));
}

void TaskDriver::finishDelivered() {
  if (phase_ == Phase::Finished) return;
  phase_ = Phase::Finished;
  removeTransfer();
  // A download handed over has given its file away; any other end leaves nothing behind.
  discardDownloadFile();
  if (bodyStream_) {
    bodyStream_->setWaker(nullptr);
    bodyStream_->close();
  }
  if (request_.httpBodyStream) request_.httpBodyStream->close();
}

}  // namespace platform::net
