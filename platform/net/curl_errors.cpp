#include "platform/net/curl_errors.h"

#include "platform/foundation/url_error.h"

namespace platform::net {

namespace {
int64_t codeFor(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return kURLErrorTimedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kURLErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT:
      return kURLErrorCannotConnectToHost;
    case CURLE_URL_MALFORMAT:
      return kURLErrorBadURL;
    case CURLE_UNSUPPORTED_PROTOCOL:  // also an HTTP/0.9 answer, which is never accepted
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
      return kURLErrorBadServerResponse;
    case CURLE_BAD_CONTENT_ENCODING:
      return kURLErrorCannotDecodeContentData;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_FAIL_REWIND:
    case CURLE_HTTP2_STREAM:
      return kURLErrorNetworkConnectionLost;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return kURLErrorServerCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return kURLErrorSecureConnectionFailed;
    case CURLE_READ_ERROR:
      return kURLErrorRequestBodyStreamExhausted;
    case CURLE_ABORTED_BY_CALLBACK:
      return kURLErrorCancelled;
    case CURLE_WRITE_ERROR:
      return kURLErrorCannotWriteToFile;
    case CURLE_FILESIZE_EXCEEDED:
      return kURLErrorResourceUnavailable;
    default:
      return kURLErrorUnknown;
  }
}
}  // namespace

Error urlErrorForCurlCode(CURLcode code, const std::string& failingURL, const char* detail) {
  Error error = makeURLError(codeFor(code), failingURL);
  const std::string reason =
      detail != nullptr && detail[0] != '\0' ? detail : curl_easy_strerror(code);
  error.mutableUserInfo().set(Error::kFailureReasonKey, reason);
  return error;
}

}  // namespace platform::net
