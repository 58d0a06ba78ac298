#include "platform/web/webkit/load_error.h"

#include <gio/gio.h>
#include <webkit2/webkit2.h>

#include "platform/web/web_errors.h"
#include "platform/web/web_view.h"

namespace platform::web {

namespace {

struct Mapped {
  const char* domain;
  int64_t code;
};

Mapped mapWebKitNetwork(int code) {
  switch (code) {
    case WEBKIT_NETWORK_ERROR_CANCELLED:
      return {kURLErrorDomain, kURLErrorCancelled};
    case WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST:
      return {kURLErrorDomain, kURLErrorFileDoesNotExist};
    case WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL:
      return {kURLErrorDomain, kURLErrorUnsupportedURL};
    case WEBKIT_NETWORK_ERROR_TRANSPORT:
      return {kURLErrorDomain, kURLErrorCannotConnectToHost};
    default:
      return {kURLErrorDomain, kURLErrorUnknown};
  }
}

Mapped mapWebKitPolicy(int code) {
  // The engine's own policy codes (100 MIME type, 102 interrupted, 103 restricted port) are the
  // web view domain's; a URL the engine cannot show is an unsupported URL.
  if (code == WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI)
    return {kURLErrorDomain, kURLErrorUnsupportedURL};
  return {kWebViewErrorDomain, code};
}

Mapped mapGio(int code) {
  switch (code) {
    case G_IO_ERROR_CANCELLED:
      return {kURLErrorDomain, kURLErrorCancelled};
    case G_IO_ERROR_NOT_FOUND:
      return {kURLErrorDomain, kURLErrorFileDoesNotExist};
    case G_IO_ERROR_CONNECTION_REFUSED:
    case G_IO_ERROR_HOST_UNREACHABLE:
      return {kURLErrorDomain, kURLErrorCannotConnectToHost};
    case G_IO_ERROR_NETWORK_UNREACHABLE:
      return {kURLErrorDomain, kURLErrorNotConnectedToInternet};
    case G_IO_ERROR_TIMED_OUT:
      return {kURLErrorDomain, kURLErrorTimedOut};
    case G_IO_ERROR_CONNECTION_CLOSED:  // the same value as G_IO_ERROR_BROKEN_PIPE
      return {kURLErrorDomain, kURLErrorNetworkConnectionLost};
    default:
      return {kURLErrorDomain, kURLErrorUnknown};
  }
}

}  // namespace

Error loadError(const char* domain, int64_t code, const std::string& description,
                const std::string& failingURL) {
  Error error = Error::withDescription(domain, code, description);
  error.mutableUserInfo().set(kURLErrorFailingURLStringKey, failingURL);
  return error;
}

Error loadError(const GError* error, const std::string& failingURL) {
  if (!error) return loadError(kURLErrorDomain, kURLErrorUnknown, "Unknown error", failingURL);
  Mapped mapped;
  if (error->domain == WEBKIT_NETWORK_ERROR) {
    mapped = mapWebKitNetwork(error->code);
  } else if (error->domain == WEBKIT_POLICY_ERROR) {
    mapped = mapWebKitPolicy(error->code);
  } else if (error->domain == G_IO_ERROR) {
    mapped = mapGio(error->code);
  } else if (error->domain == G_RESOLVER_ERROR) {
    mapped = {kURLErrorDomain, kURLErrorCannotFindHost};
  } else if (error->domain == G_TLS_ERROR) {
    mapped = {kURLErrorDomain, kURLErrorSecureConnectionFailed};
  } else {
    // A domain of our own making (a scheme handler's error) travels through unchanged.
    mapped = {g_quark_to_string(error->domain), error->code};
  }
  return loadError(mapped.domain, mapped.code, error->message ? error->message : "", failingURL);
}

}  // namespace platform::web
