#pragma once

// The blocks a fetcher's caller can give it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/error.h"
#include "platform/net/url_session.h"

class ZSDK_ZTMSessionFetcher;

namespace fetcher_blocks {

using Bytes = platform::Bytes;
using Error = platform::Error;
using URLRequest = platform::net::URLRequest;
using URLResponse = platform::net::URLResponse;

using CompletionHandler =
    std::function<void(const std::optional<Bytes>& data, const std::optional<Error>& error)>;
using ConfigurationBlock =
    std::function<void(ZSDK_ZTMSessionFetcher&, platform::net::URLSessionConfiguration&)>;
using BodyStreamProvider = std::function<void(
    std::function<void(std::shared_ptr<platform::net::InputStream>)> completion)>;
// Takes the body bytes as they come; nullopt means: discard what was passed so far.
using AccumulateDataBlock = std::function<void(const std::optional<Bytes>& data)>;
using ReceivedProgressBlock = std::function<void(int64_t bytes, int64_t totalBytes)>;
using DownloadProgressBlock =
    std::function<void(int64_t bytesWritten, int64_t totalWritten, int64_t totalExpected)>;
using SendProgressBlock =
    std::function<void(int64_t bytesSent, int64_t totalSent, int64_t totalExpected)>;
using ResumeDataBlock = std::function<void(const std::optional<Bytes>& resumeData)>;
using DidReceiveResponseBlock =
    std::function<void(const URLResponse& response,
                       std::function<void(platform::net::ResponseDisposition)> completion)>;
using WillRedirectBlock =
    std::function<void(const URLResponse& redirectResponse, const URLRequest& request,
                       std::function<void(std::optional<URLRequest>)> completion)>;
using WillCacheURLResponseBlock = std::function<void(
    const platform::net::CachedURLResponse& proposed,
    std::function<void(std::optional<platform::net::CachedURLResponse>)> completion)>;
using RetryBlock = std::function<void(bool suggestedWillRetry, const std::optional<Error>& error,
                                      std::function<void(bool shouldRetry)> response)>;
// Answers a simulated fetch: (response, data, error); all three absent sends the real request.
using TestResponse =
    std::function<void(const std::optional<URLResponse>& response, const std::optional<Bytes>& data,
                       const std::optional<Error>& error)>;
using TestBlock = std::function<void(ZSDK_ZTMSessionFetcher& fetcher, TestResponse response)>;

}  // namespace fetcher_blocks
