// What a fetcher does with each event of its running task, and the playback of a simulated fetch
// through the same caller blocks.

#include <fstream>

#include "platform/foundation/url_error.h"
#include "platform/net/host.h"
#include "platform/storage/file_manager.h"
#include "toolbox/fetcher/session_fetcher.h"

using platform::Bytes;
using platform::Error;
using platform::net::AuthChallengeDisposition;
using platform::net::ResponseDisposition;
using platform::net::TaskPtr;
using platform::net::URLCredential;
using platform::net::URLRequest;
using platform::net::URLResponse;
using platform::net::URLSession;

namespace {

// Three progress reports for `length` bytes: pieces of length / 3 + 1, the last one shorter.
template <typename Report>
void reportInThirds(int64_t length, const Report& report) {
  if (length <= 0) return;
  const int64_t piece = length / 3 + 1;
  for (int64_t total = 0; total < length;) {
    const int64_t step = std::min(piece, length - total);
    total += step;
    report(step, total);
  }
}

}  // namespace

void ZSDK_ZTMSessionFetcher::willPerformHTTPRedirection(
    URLSession&, const TaskPtr& task, const URLResponse& response, URLRequest newRequest,
    std::function<void(std::optional<URLRequest>)> completion) {
  setSessionTask(task);
  const bool stopped = callbacks_.userStopped();
  std::optional<URLRequest> current = request_.request();
  if (stopped || !current || !current->url || !newRequest.url) {
    return completion(stopped ? std::nullopt : std::optional(std::move(newRequest)));
  }
  // The current request goes to the new URL, keeping the current scheme, except that http gives
  // way to https: a redirect can upgrade, never downgrade.
  const std::string currentScheme = current->url->scheme();
  platform::URLParts parts = newRequest.url->parts();
  parts.scheme =
      currentScheme == "http" && newRequest.url->scheme() == "https" ? "https" : currentScheme;
  URLRequest followed = *current;
  if (platform::Result<platform::URL> url = platform::URL::compose(parts); url.ok()) {
    followed.url = *url;
  } else {
    followed.url = newRequest.url;
  }
  for (const auto& [name, value] : newRequest.headers.fields()) followed.headers.set(name, value);
  // Credentials stay with the origin that was given them.
  if (!platform::net::sameOrigin(*followed.url, *current->url)) {
    followed.headers.remove("Authorization");
  }
  task_.setResponse(response);
  logNowWithError(std::nullopt);
  if (WillRedirectBlock block = willRedirectBlock()) {
    invokeOnCallbackQueueAfterUserStopped(
        true, [self = shared_from_this(), block, response, followed, completion] {
          block(response, followed, [self, completion](std::optional<URLRequest> chosen) {
            if (chosen) self->setRequest(*chosen);
            completion(std::move(chosen));
          });
        });
    return;
  }
  setRequest(followed);
  completion(std::move(followed));
}

void ZSDK_ZTMSessionFetcher::didReceiveResponse(
    URLSession&, const TaskPtr& task, const URLResponse& response,
    std::function<void(ResponseDisposition)> completion) {
  setSessionTask(task);
  // A new head starts the body over: what was gathered for an earlier head is dropped.
  auto step = [self = shared_from_this(), completion](ResponseDisposition disposition) {
    AccumulateDataBlock accumulate;
    if (self->task_.restartBody() && disposition != ResponseDisposition::Cancel) {
      accumulate = self->accumulateDataBlock();
    }
    if (accumulate) {
      self->invokeOnCallbackQueueUnlessStopped([accumulate] { accumulate(std::nullopt); });
    }
    completion(disposition);
  };
  if (DidReceiveResponseBlock block = didReceiveResponseBlock()) {
    invokeOnCallbackQueueAfterUserStopped(true, [block, response, step] { block(response, step); });
  } else {
    step(ResponseDisposition::Allow);
  }
}

void ZSDK_ZTMSessionFetcher::didReceiveData(URLSession&, const TaskPtr& task, const Bytes& data) {
  setSessionTask(task);
  if (data.empty()) return;
  if (AccumulateDataBlock block = accumulateDataBlock()) {
    task_.countBody(static_cast<int64_t>(data.size()));
    invokeOnCallbackQueueUnlessStopped([block, data] { block(data); });
    return;
  }
  if (callbacks_.userStopped()) return;
  task_.appendBody(data);
  if (ReceivedProgressBlock block = receivedProgressBlock()) {
    invokeOnCallbackQueueUnlessStopped(
        [self = shared_from_this(), block, size = static_cast<int64_t>(data.size())] {
          block(size, self->downloadedLength());
        });
  }
}

void ZSDK_ZTMSessionFetcher::didReceiveChallenge(
    URLSession&, const TaskPtr& task, const platform::net::URLAuthenticationChallenge& challenge,
    std::function<void(AuthChallengeDisposition, std::optional<URLCredential>)> completion) {
  setSessionTask(task);
  if (challenge.previousFailureCount > 2) {
    return completion(AuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
  }
  const auto& space = challenge.protectionSpace;
  if (space.authenticationMethod == platform::net::kAuthenticationMethodServerTrust) {
    if (!space.serverTrust) {
      return completion(AuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
    }
    if (!allowInvalidServerCertificates()) {
      const platform::net::ServerTrust::Result result = space.serverTrust->evaluate();
      if (result != platform::net::ServerTrust::Result::Proceed &&
          result != platform::net::ServerTrust::Result::Unspecified) {
        return completion(AuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
      }
    }
    return completion(AuthChallengeDisposition::UseCredential,
                      URLCredential::forTrust(space.serverTrust));
  }
  if (std::optional<URLCredential> proxy = proxyCredential(); space.isProxy && proxy) {
    return completion(AuthChallengeDisposition::UseCredential, proxy);
  }
  if (std::optional<URLCredential> given = credential()) {
    return completion(AuthChallengeDisposition::UseCredential, given);
  }
  completion(AuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
}

void ZSDK_ZTMSessionFetcher::needNewBodyStream(
    URLSession&, const TaskPtr& task,
    std::function<void(std::shared_ptr<platform::net::InputStream>)> completion) {
  setSessionTask(task);
  BodyStreamProvider provider = loggedStreamProviderForStreamProvider(bodyStreamProvider());
  if (!provider) return completion(nullptr);
  invokeOnCallbackQueueUnlessStopped([provider, completion] { provider(completion); });
}

void ZSDK_ZTMSessionFetcher::didSendBodyData(URLSession&, const TaskPtr& task, int64_t bytesSent,
                                             int64_t totalBytesSent,
                                             int64_t totalBytesExpectedToSend) {
  setSessionTask(task);
  if (SendProgressBlock block = sendProgressBlock()) {
    invokeOnCallbackQueueUnlessStopped(
        [=] { block(bytesSent, totalBytesSent, totalBytesExpectedToSend); });
  }
}

void ZSDK_ZTMSessionFetcher::didWriteData(URLSession&, const TaskPtr& task, int64_t bytesWritten,
                                          int64_t totalBytesWritten,
                                          int64_t totalBytesExpectedToWrite) {
  setSessionTask(task);
  // An announced size that the bytes already passed (a compressed length, say) is no size.
  const int64_t expected =
      totalBytesExpectedToWrite >= 0 && totalBytesExpectedToWrite < totalBytesWritten
          ? -1
          : totalBytesExpectedToWrite;
  if (DownloadProgressBlock block = downloadProgressBlock()) {
    invokeOnCallbackQueueUnlessStopped([=] { block(bytesWritten, totalBytesWritten, expected); });
  }
}

void ZSDK_ZTMSessionFetcher::didFinishDownloadingTo(URLSession&, const TaskPtr& task,
                                                    const std::filesystem::path& location) {
  setSessionTask(task);
  const int status = statusCode();
  if (status < 200 || status > 399) return;
  std::error_code failed;
  task_.setBodyLength(static_cast<int64_t>(std::filesystem::file_size(location, failed)));
  const std::optional<platform::URL> destinationURL = destinationFileURL();
  const std::optional<std::string> destination =
      destinationURL ? destinationURL->filePath() : std::nullopt;
  if (!destination) {
    return task_.setDeferredError(platform::makeURLError(platform::kURLErrorCannotCreateFile));
  }
  // In one step, across file systems too: a failed move leaves what was at the destination.
  if (platform::Status moved = platform::FileManager::replaceItem(location, *destination); !moved) {
    task_.setDeferredError(moved.error());
  }
}

void ZSDK_ZTMSessionFetcher::didCompleteWithError(URLSession&, const TaskPtr& task,
                                                  const std::optional<Error>& error) {
  setSessionTask(task);
  const int status = statusCode();
  std::optional<Error> failure = error ? error : task_.deferredError();
  if (!failure && status >= 0 && status <= 299) {
    request_.setSentBodyLength(task->countOfBytesSent());
    return finishWithError(std::nullopt, false);
  }
  if (reauthorizeBackgroundRedirect(status)) return retryFetch();
  shouldRetryNowForStatus(status, failure, [self = shared_from_this(), failure](bool retry) {
    self->finishWithError(failure, retry);
  });
}

// Playback.

void ZSDK_ZTMSessionFetcher::simulateFetchForTestBlock() {
  TestBlock block = testBlock();
  if (!block) return;
  block(*this, [self = shared_from_this()](const std::optional<URLResponse>& response,
                                           const std::optional<Bytes>& data,
                                           const std::optional<Error>& error) {
    self->playBackTestResponse(response, data, error);
  });
}

void ZSDK_ZTMSessionFetcher::playBackTestResponse(const std::optional<URLResponse>& response,
                                                  const std::optional<Bytes>& data,
                                                  const std::optional<Error>& error) {
  Ptr self = shared_from_this();
  if (!response && !data && !error) {
    // No simulation after all: send the real request.
    setTestBlock(nullptr);
    task_.setUsingTestBlock(false);
    if (TaskPtr task = sessionTask()) task->resume();
    return;
  }
  // The request body, as the server would have read it.
  if (BodyStreamProvider provider = bodyStreamProvider()) {
    invokeOnCallbackQueueUnlessStopped([self, provider, response, data, error] {
      provider([self, response, data, error](std::shared_ptr<platform::net::InputStream> stream) {
        Bytes body;
        std::optional<Error> failure = error;
        if (stream) {
          stream->open();
          uint8_t buffer[512];
          while (stream->hasBytesAvailable()) {
            const int64_t count = stream->read(buffer, sizeof(buffer));
            if (count < 1) break;
            body.insert(body.end(), buffer, buffer + count);
          }
          if (std::optional<Error> streamError = stream->streamError()) failure = streamError;
          stream->close();
        }
        self->simulateDataCallbacksForTestBlock(body, response, data, failure);
      });
    });
    return;
  }
  Bytes body;
  std::optional<Error> failure = error;
  if (std::optional<platform::URL> file = bodyFileURL()) {
    std::ifstream input(file->filePath().value_or(""), std::ios::binary);
    if (input) {
      body.assign(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
    } else {
      failure = platform::makeURLError(platform::kURLErrorFileDoesNotExist, file->absoluteString());
    }
  } else if (std::optional<Bytes> bodyData = this->bodyData()) {
    body = *bodyData;
  }
  invokeOnCallbackQueueUnlessStopped([self, body, response, data, failure] {
    self->simulateDataCallbacksForTestBlock(body, response, data, failure);
  });
}

void ZSDK_ZTMSessionFetcher::simulateDataCallbacksForTestBlock(
    const Bytes& bodyData, const std::optional<URLResponse>& response,
    const std::optional<Bytes>& responseData, std::optional<Error> error) {
  const URLResponse head = response.value_or(URLResponse());
  const Bytes data = responseData.value_or(Bytes());
  if (WillRedirectBlock block = willRedirectBlock()) {
    block(head, request().value_or(URLRequest()), [](std::optional<URLRequest>) {});
  }
  if (DidReceiveResponseBlock block = didReceiveResponseBlock()) {
    block(head, [](ResponseDisposition) {});
  }
  const auto length = [](const Bytes& bytes) { return static_cast<int64_t>(bytes.size()); };
  if (SendProgressBlock block = sendProgressBlock()) {
    reportInThirds(length(bodyData),
                   [&](int64_t piece, int64_t total) { block(piece, total, length(bodyData)); });
  }
  if (std::optional<platform::URL> destination = destinationFileURL()) {
    if (DownloadProgressBlock block = downloadProgressBlock()) {
      reportInThirds(length(data),
                     [&](int64_t piece, int64_t total) { block(piece, total, length(data)); });
    }
    if (std::optional<Error> failed = writeDestinationFile(*destination, data)) error = failed;
  } else {
    if (AccumulateDataBlock block = accumulateDataBlock()) {
      block(data);
    } else {
      task_.setBody(data);
    }
    if (ReceivedProgressBlock block = receivedProgressBlock()) {
      reportInThirds(length(data), [&](int64_t piece, int64_t total) { block(piece, total); });
    }
    if (WillCacheURLResponseBlock block = willCacheURLResponseBlock()) {
      block(platform::net::CachedURLResponse{head, data},
            [](std::optional<platform::net::CachedURLResponse>) {});
    }
  }
  task_.setResponse(response);
  platform::mainQueue()->async([self = shared_from_this(), error] {
    self->shouldRetryNowForStatus(
        error ? static_cast<int>(error->code()) : 200, error,
        [self, error](bool retry) { self->finishWithError(error, retry); });
  });
}
