// The life of a task on its engine's thread: its start, each leg's set-up, the end of each
// transfer, time-outs, and the one completion.

#include "platform/net/task_driver.h"

#include <unistd.h>

#include <algorithm>

#include "platform/foundation/url_error.h"
#include "platform/net/curl_engine.h"
#include "platform/net/curl_errors.h"
#include "platform/net/data_url.h"
#include "platform/net/host.h"
#include "platform/net/task_driver_limits.h"

namespace platform::net {

namespace {

bool isHTTPScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

// A file removed from disk when the last holder lets it go.
std::shared_ptr<const std::filesystem::path> removedWhenReleased(std::filesystem::path path) {
  return std::shared_ptr<const std::filesystem::path>(new std::filesystem::path(std::move(path)),
                                                      [](const std::filesystem::path* file) {
                                                        std::error_code ignored;
                                                        std::filesystem::remove(*file, ignored);
                                                        delete file;
                                                      });
}

// Seconds as a duration, no longer than the engine can wait for.
Duration limitOf(double seconds) { return platform::seconds(std::min(seconds, 1e9)); }

}  // namespace

TaskDriver::TaskDriver(CurlEngine& engine, TaskRun run)
    : engine_(engine),
      task_(std::move(run.task)),
      session_(std::move(run.session)),
      taskBody_(std::move(run.body)),
      record_(std::move(run.record)),
      request_(std::move(run.request)) {}

TaskDriver::~TaskDriver() {
  removeTransfer();
  discardDownloadFile();
  engine_.giveBackEasyHandle(std::move(easy_));
}

void TaskDriver::discardDownloadFile() {
  downloadFile_.reset();
  if (!downloadPath_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(std::exchange(downloadPath_, {}), ignored);
  }
}

std::string TaskDriver::urlText() const { return request_->urlString(); }

std::string TaskDriver::hostKey() const {
  const URL& url = *request_->url;
  return url.host().value_or("") + ":" + std::to_string(portOrDefault(url));
}

void TaskDriver::start() {
  if (record_->cancelled) return complete(makeURLError(kURLErrorCancelled, urlText()));
  if (taskBody_->kind == TaskBody::Kind::ResumeData) {
    return complete(makeURLError(kURLErrorCannotResumeDownload));
  }
  if (!request_->url || (!request_->url->host() && request_->url->scheme() != "data")) {
    return complete(makeURLError(kURLErrorBadURL, urlText()));
  }
  const std::string scheme = request_->url->scheme();
  if (scheme == "data") return deliverDataURL();
  if (!isHTTPScheme(scheme)) return complete(makeURLError(kURLErrorUnsupportedURL, urlText()));
  if (taskBody_->kind == TaskBody::Kind::Stream) {
    delegateStream_ = true;
    return askForBodyStream();
  }
  startLeg();
}

bool TaskDriver::prepareBody() {
  body_.clear();
  using Kind = TaskBody::Kind;
  // An upload task's own body goes with its first request whatever the method; after a
  // redirect, only with a method that sends one.
  const bool uploadBody =
      taskBody_->kind == Kind::Data || taskBody_->kind == Kind::File || delegateStream_;
  if (!methodSendsBody(request_->httpMethod) && !(uploadBody && redirects_ == 0)) return true;
  if (taskBody_->kind == Kind::Data) {
    body_.useData(*taskBody_->data);
  } else if (taskBody_->kind == Kind::File) {
    if (!body_.useFile(taskBody_->file)) {
      complete(makeURLError(kURLErrorFileDoesNotExist, urlText()));
      return false;
    }
  } else if (delegateStream_) {
    body_.useStream(bodyStream_);
  } else if (request_->httpBody) {
    body_.useData(*request_->httpBody);
  } else if (request_->httpBodyStream) {
    request_->httpBodyStream->open();
    wakeWhenReadable(*request_->httpBodyStream);
    body_.useStream(request_->httpBodyStream);
  } else if (request_->httpMethod == "POST" || request_->httpMethod == "PUT" ||
             request_->httpMethod == "PATCH") {
    static const Bytes kEmpty;
    body_.useData(kEmpty);  // sent with "Content-Length: 0", as servers expect
  }
  return true;
}

bool TaskDriver::validHeaders() {
  for (const HTTPHeaderFields* fields :
       {&request_->headers, &session_->configuration().httpAdditionalHeaders}) {
    for (const auto& [name, value] : fields->fields()) {
      if (!isValidHeaderField(name, value)) {
        Error error = makeURLError(kURLErrorBadURL, urlText());
        error.mutableUserInfo().set(Error::kFailureReasonKey, "invalid header field " + name);
        complete(std::move(error));
        return false;
      }
    }
  }
  return true;
}

void TaskDriver::resetLeg() {
  if (!easy_) {
    easy_ = engine_.takeEasyHandle();
  } else {
    curl_easy_reset(easy_.get());
  }
  headerList_.reset();
  role_ = Role::Unknown;
  head_ = ResponseHeadParser();
  held_.clear();
  result_.reset();
  abortError_.reset();
  peerChain_.clear();
  lastUploaded_ = 0;
  pausedReceiving_ = pausedSending_ = false;
}

void TaskDriver::startLeg() {
  if (!validHeaders() || !prepareBody()) return;
  record_->beginLeg(request_, body_.empty() ? 0 : body_.length());
  resetLeg();
  configureEasy();
  const URLSessionConfiguration& configuration = session_->configuration();
  const double idle = std::min(
      request_->timeoutInterval > 0 ? request_->timeoutInterval : 1e9,
      configuration.timeoutIntervalForRequest > 0 ? configuration.timeoutIntervalForRequest : 1e9);
  idleLimit_ = limitOf(idle);
  touch();
  legDeadline_.reset();
  if (configuration.timeoutIntervalForResource > 0) {
    legDeadline_ = lastActivity_ + limitOf(configuration.timeoutIntervalForResource);
  }
  phase_ = Phase::Transferring;
  engine_.addHandle(easy_.get());
  inMulti_ = true;
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
  curl_easy_getinfo(easy_.get(), CURLINFO_NUM_CONNECTS, &newConnections);
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
      if (responsePending_) engine_.flushLater(task_->taskIdentifier());
      return advance();
    case Role::Unknown:
      return complete(makeURLError(kURLErrorBadServerResponse, urlText()));
  }
}

// The interim response of this leg is the task's answer after all.
void TaskDriver::finishWithFinalResponse() {
  becomeFinal();
  if (abortError_) return complete(*abortError_);
  phase_ = Phase::Finishing;
  advance();
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
    if (!closeFile(downloadFile_)) {
      return complete(makeURLError(kURLErrorCannotWriteToFile, urlText()));
    }
    deliverDownloadedFile();
  }
  complete(std::nullopt);
}

void TaskDriver::deliverDownloadedFile() {
  // The delegate gets the file; it is removed once the delegate call returns, or with the call
  // when a cancel drops it.
  session_->deliver(task_, false,
                    [task = task_, file = removedWhenReleased(std::exchange(downloadPath_, {}))](
                        URLSessionDelegate& delegate, URLSession& s) mutable {
                      delegate.didFinishDownloadingTo(s, task, *file);
                      file.reset();
                    });
}

bool TaskDriver::openDownloadFile() {
  std::filesystem::path folder = session_->configuration().downloadDirectory;
  std::error_code ignored;
  if (folder.empty()) folder = std::filesystem::temp_directory_path(ignored);
  std::string pattern = (folder / "vokaru-download-XXXXXX").string();
  const int fd = ::mkstemp(pattern.data());
  if (fd >= 0) downloadFile_.reset(::fdopen(fd, "wb"));
  if (!downloadFile_) {
    if (fd >= 0) ::close(fd);
    abortError_ = makeURLError(kURLErrorCannotCreateFile, urlText());
    return false;
  }
  downloadPath_ = pattern;
  return true;
}

void TaskDriver::deliverDataURL() {
  Result<DataURLContent> content = decodeDataURL(request_->url->absoluteString());
  if (!content.ok()) return complete(content.error());
  URLResponse response;
  response.url = *request_->url;
  response.expectedContentLength = static_cast<int64_t>(content->data.size());
  response.mimeType = content->mimeType;
  response.textEncodingName = content->charset;
  response_ = response;
  record_->setResponse(std::move(response));
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

void TaskDriver::touch() { lastActivity_ = platform::monotonicNow(); }

// The idle clock stops while the transfer waits for the delegate or the body stream.
bool TaskDriver::idleClockRuns() const {
  return phase_ == Phase::Transferring && inMulti_ && !pausedReceiving_ && !pausedSending_;
}

std::optional<MonotonicTime> TaskDriver::nextDeadline() const {
  std::optional<MonotonicTime> next;
  if (idleClockRuns()) next = lastActivity_ + idleLimit_;
  if (legDeadline_ && inMulti_) next = next ? std::min(*next, *legDeadline_) : *legDeadline_;
  return next;
}

void TaskDriver::onDeadline(MonotonicTime now) {
  const bool idle = idleClockRuns() && now >= lastActivity_ + idleLimit_;
  const bool overdue = legDeadline_ && inMulti_ && now >= *legDeadline_;
  if (idle || overdue) complete(makeURLError(kURLErrorTimedOut, urlText()));
}

std::optional<TaskDriver::RealTime> TaskDriver::responseDue() const {
  if (!responsePending_) return std::nullopt;
  return responseHeldSince_ + kResponseGrace;
}

void TaskDriver::removeTransfer() {
  if (inMulti_) engine_.removeHandle(easy_.get());
  inMulti_ = false;
}

void TaskDriver::complete(std::optional<Error> error) {
  if (phase_ == Phase::Finished) return;
  finishDelivered();
  session_->completeTask(task_, std::move(error));
}

// The engine is done with the task: what follows, if anything, happens on the delegate queue.
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
  if (request_->httpBodyStream) {
    request_->httpBodyStream->setWaker(nullptr);
    request_->httpBodyStream->close();
  }
}

}  // namespace platform::net
