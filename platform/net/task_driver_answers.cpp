// A task driver's questions to the delegate (body streams, redirects, challenges, responses) and
// what it does with the answers, which come back to its engine's thread.

#include "platform/dispatch/once_callback.h"
#include "platform/foundation/url_error.h"
#include "platform/net/ascii.h"
#include "platform/net/curl_engine.h"
#include "platform/net/curl_errors.h"
#include "platform/net/host.h"
#include "platform/net/response_hand_over.h"
#include "platform/net/task_driver.h"
#include "platform/net/task_driver_limits.h"

namespace platform::net {

namespace {

bool isHTTPScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

// The delegate's answer: the first call is carried to the task's driver on its engine's thread;
// an answer dropped without being called cancels the task.
template <typename... Args>
std::function<void(Args...)> answer(CurlEngine& engine, uint64_t task,
                                    void (TaskDriver::*apply)(Args...)) {
  return OnceCallback<Args...>(
      [&engine, task, apply](Args... args) {
        engine.withDriver(
            task, [apply, values = std::make_tuple(std::move(args)...)](TaskDriver& d) mutable {
              std::apply([&](auto&&... v) { (d.*apply)(std::move(v)...); }, std::move(values));
            });
      },
      [&engine, task] { engine.withDriver(task, [](TaskDriver& d) { d.cancel(); }); });
}

}  // namespace

void TaskDriver::askForBodyStream() {
  phase_ = Phase::AwaitingBodyStream;
  session_->deliver(
      task_, false, [&engine = engine_, task = task_](URLSessionDelegate& delegate, URLSession& s) {
        delegate.needNewBodyStream(
            s, task, answer(engine, task->taskIdentifier(), &TaskDriver::answerBodyStream));
      });
}

void TaskDriver::answerBodyStream(std::shared_ptr<InputStream> stream) {
  if (phase_ != Phase::AwaitingBodyStream) return;
  if (!stream) return complete(makeURLError(kURLErrorRequestBodyStreamExhausted, urlText()));
  if (bodyStream_) bodyStream_->close();
  bodyStream_ = std::move(stream);
  bodyStream_->open();
  wakeWhenReadable(*bodyStream_);
  startLeg();
}

void TaskDriver::wakeWhenReadable(InputStream& stream) {
  const uint64_t id = task_->taskIdentifier();
  stream.setWaker(
      [&engine = engine_, id] { engine.withDriver(id, [](TaskDriver& d) { d.resumeSending(); }); });
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
  engine_.flushLater(task_->taskIdentifier());
}

void TaskDriver::flush() {
  if (!responsePending_ || phase_ == Phase::Finished) return;
  if (phase_ == Phase::Transferring && !pausedReceiving_ &&
      std::chrono::steady_clock::now() < responseHeldSince_ + kResponseGrace) {
    return;  // the engine flushes again when the transfer ends or the moment has passed
  }
  responsePending_ = false;
  if (phase_ == Phase::Finishing && result_) return speculate();
  session_->deliver(task_, false,
                    [&engine = engine_, task = task_, response = *response_](
                        URLSessionDelegate& delegate, URLSession& s) {
                      delegate.didReceiveResponse(
                          s, task, response,
                          answer(engine, task->taskIdentifier(), &TaskDriver::answerDisposition));
                    });
}

// The response, its whole body and the outcome are known: they go to the delegate queue in one
// delivery, and the engine is done with the task.
void TaskDriver::speculate() {
  std::optional<Error> outcome;
  if (*result_ != CURLE_OK) outcome = urlErrorForCurlCode(*result_, urlText(), errorBuffer_);
  ResponseHandOver::deliver(TaskRun{task_, session_, taskBody_, record_, request_}, *response_,
                            std::exchange(held_, {}), std::move(outcome), urlText());
  finishDelivered();
}

void TaskDriver::answerDisposition(ResponseDisposition disposition) {
  if (!dispositionAsked_ || dispositionAllowed_ || phase_ == Phase::Finished) return;
  if (disposition != ResponseDisposition::Allow) {
    return complete(makeURLError(kURLErrorCancelled, urlText()));
  }
  dispositionAllowed_ = true;
  advance();
  if (phase_ == Phase::Transferring) unpause();
}

void TaskDriver::deliverData(Bytes data) {
  if (data.empty()) return;
  const auto size = static_cast<int64_t>(data.size());
  record_->addBytesReceived(size);
  record_->bytesInFlight += size;
  session_->deliver(task_, false,
                    [&engine = engine_, task = task_, record = record_, data = std::move(data),
                     size](URLSessionDelegate& delegate, URLSession& s) {
                      delegate.didReceiveData(s, task, data);
                      const int64_t left = record->bytesInFlight -= size;
                      if (left <= kInFlightLimit && left + size > kInFlightLimit) {
                        engine.withDriver(task->taskIdentifier(),
                                          [](TaskDriver& d) { d.resumeReceiving(); });
                      }
                    });
}

void TaskDriver::resumeReceiving() {
  if (phase_ == Phase::Transferring && pausedReceiving_ &&
      record_->bytesInFlight <= kInFlightLimit) {
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
  if (dispositionAllowed_ && record_->bytesInFlight <= kInFlightLimit) pausedReceiving_ = false;
  touch();
  curl_easy_pause(easy_.get(),
                  (pausedReceiving_ ? CURLPAUSE_RECV : 0) | (pausedSending_ ? CURLPAUSE_SEND : 0));
}

void TaskDriver::proposeRedirect() {
  const URLResponse& response = *response_;
  Result<URL> target = request_->url->resolve(response.headers.value("Location").value_or(""));
  if (!target.ok() || !isHTTPScheme(target->scheme()) || !target->host()) {
    // Nowhere this session can go: the redirect response is the answer.
    return finishWithFinalResponse();
  }
  if (++redirects_ > kMaxRedirects) {
    return complete(makeURLError(kURLErrorHTTPTooManyRedirects, urlText()));
  }
  URLRequest proposed = *request_;
  proposed.url = *target;
  const int status = response.statusCode;
  const std::string& method = request_->httpMethod;
  if ((status == 303 && method != "HEAD") ||
      ((status == 301 || status == 302) && method == "POST")) {
    proposed.httpMethod = "GET";
    proposed.httpBody.reset();
    proposed.httpBodyStream.reset();
    proposed.headers.remove("Content-Type");
    proposed.headers.remove("Content-Length");
  }
  // Credentials stay with the origin that asked for them.
  if (!sameOrigin(*request_->url, *target)) proposed.headers.remove("Authorization");
  phase_ = Phase::AwaitingRedirect;
  session_->deliver(task_, false,
                    [&engine = engine_, task = task_, response, proposed = std::move(proposed)](
                        URLSessionDelegate& delegate, URLSession& s) mutable {
                      delegate.willPerformHTTPRedirection(
                          s, task, response, std::move(proposed),
                          answer(engine, task->taskIdentifier(), &TaskDriver::answerRedirect));
                    });
}

void TaskDriver::answerRedirect(std::optional<URLRequest> request) {
  if (phase_ != Phase::AwaitingRedirect) return;
  if (!request) return finishWithFinalResponse();
  if (!request->url || !isHTTPScheme(request->url->scheme()) || !request->url->host()) {
    return complete(makeURLError(kURLErrorUnsupportedURL, request->urlString()));
  }
  if (!sameOrigin(*request_->url, *request->url)) {
    credential_[0].reset();
    failedAnswers_[0] = 0;
  }
  request_ = std::make_shared<const URLRequest>(std::move(*request));
  restartLeg();
}

// Starts the next leg, with a fresh body stream when the body is streamed and cannot rewind.
void TaskDriver::restartLeg() {
  const bool streamed = delegateStream_ || (!request_->httpBody && request_->httpBodyStream &&
                                            taskBody_->kind == TaskBody::Kind::None);
  const std::shared_ptr<InputStream>& stream =
      delegateStream_ ? bodyStream_ : request_->httpBodyStream;
  if (streamed && methodSendsBody(request_->httpMethod) && !(stream && stream->rewind())) {
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
  const URL& url = *request_->url;
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
  askAboutChallenge(std::move(challenge));
}

void TaskDriver::challengeServerTrust() {
  auto trust = std::make_shared<ServerTrust>(request_->url->host().value_or(""), peerChain_);
  URLAuthenticationChallenge challenge;
  challenge.protectionSpace.host = trust->host();
  challenge.protectionSpace.port = request_->url->port().value_or(443);
  challenge.protectionSpace.protocol = "https";
  challenge.protectionSpace.authenticationMethod = kAuthenticationMethodServerTrust;
  challenge.protectionSpace.serverTrust = trust;
  role_ = Role::Unknown;
  askAboutChallenge(std::move(challenge));
}

void TaskDriver::askAboutChallenge(URLAuthenticationChallenge challenge) {
  phase_ = Phase::AwaitingChallenge;
  session_->deliver(
      task_, false,
      [&engine = engine_, task = task_, challenge](URLSessionDelegate& delegate, URLSession& s) {
        delegate.didReceiveChallenge(
            s, task, challenge,
            answer(engine, task->taskIdentifier(), &TaskDriver::answerChallenge));
      });
}

// A refused server certificate keeps the cancel code; why the certificate wasn't trusted goes
// along as the underlying error, so the error's text can say it.
void TaskDriver::addTrustProblem(Error& error) const {
  const ServerTrust trust(request_->url->host().value_or(""), peerChain_);
  std::optional<std::string> problem = trust.problem();
  if (!problem) return;
  const Error underlying = Error::withDescription(kServerTrustErrorDomain, 1, *problem);
  error.mutableUserInfo().set(Error::kUnderlyingErrorKey,
                              Value::dictionary({{"domain", underlying.domain()},
                                                 {"code", underlying.code()},
                                                 {"userInfo", underlying.userInfo()}}));
  error.mutableUserInfo().set(Error::kFailureReasonKey,
                              "The server's certificate was refused: " + *problem);
}

void TaskDriver::answerChallenge(AuthChallengeDisposition disposition,
                                 std::optional<URLCredential> credential) {
  if (phase_ != Phase::AwaitingChallenge) return;
  if (disposition == AuthChallengeDisposition::CancelAuthenticationChallenge) {
    Error cancelled = makeURLError(kURLErrorCancelled, urlText());
    if (role_ == Role::Unknown) addTrustProblem(cancelled);
    return complete(std::move(cancelled));
  }
  const bool useCredential = disposition == AuthChallengeDisposition::UseCredential && credential;
  if (role_ == Role::Unknown) {  // server trust
    if (!useCredential || !credential->serverTrust) {
      return complete(makeURLError(kURLErrorServerCertificateUntrusted, urlText()));
    }
    const std::string pin =
        ServerTrust(request_->url->host().value_or(""), peerChain_).publicKeyPin();
    if (pin.empty()) return complete(makeURLError(kURLErrorServerCertificateUntrusted, urlText()));
    acceptedPins_[hostKey()] = pin;
    return restartLeg();
  }
  // No credential: the challenge response itself is the answer.
  if (!useCredential || credential->serverTrust) return finishWithFinalResponse();
  credential_[response_->statusCode == 407 ? 1 : 0] = std::move(credential);
  restartLeg();
}

}  // namespace platform::net
