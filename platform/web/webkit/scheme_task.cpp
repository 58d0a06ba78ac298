#include "platform/web/webkit/scheme_task.h"

#include <gio/gio.h>

#include <memory>

#include "platform/dispatch/queue.h"
#include "platform/web/web_errors.h"
#include "platform/web/webkit/header_list.h"

namespace platform::web {

namespace {

std::string headerValue(const HeaderList& headers, std::string_view name) {
  for (const auto& [key, value] : headers) {
    if (g_ascii_strcasecmp(key.c_str(), std::string(name).c_str()) == 0) return value;
  }
  return "";
}

// The MIME type of a response: as given, else its Content-Type header's, else guessed from the
// URL's path.
std::string mimeTypeOf(const URLSchemeResponse& response, const std::string& url) {
  if (!response.mimeType.empty()) return response.mimeType;
  std::string type = headerValue(response.headers, "Content-Type");
  if (!type.empty()) return type.substr(0, type.find(';'));
  std::string path = url.substr(0, url.find_first_of("?#"));
  gboolean uncertain = FALSE;
  gchar* guessed = g_content_type_guess(path.c_str(), nullptr, 0, &uncertain);
  gchar* mime = guessed ? g_content_type_get_mime_type(guessed) : nullptr;
  std::string result = mime ? mime : "application/octet-stream";
  g_free(mime);
  g_free(guessed);
  return result;
}

void finishWithResponse(WebKitURISchemeRequest* request, const URLSchemeResponse& response,
                        const std::string& url) {
  GBytes* bytes = g_bytes_new(response.body.data(), response.body.size());
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  WebKitURISchemeResponse* answer =
      webkit_uri_scheme_response_new(stream, static_cast<gint64>(response.body.size()));
  webkit_uri_scheme_response_set_status(answer, static_cast<guint>(response.statusCode), nullptr);
  webkit_uri_scheme_response_set_content_type(answer, mimeTypeOf(response, url).c_str());
  if (!response.headers.empty()) {
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    for (const auto& [name, value] : response.headers) {
      soup_message_headers_append(headers, name.c_str(), value.c_str());
    }
    webkit_uri_scheme_response_set_http_headers(answer, headers);  // takes the headers
  }
  webkit_uri_scheme_request_finish_with_response(request, answer);
  g_object_unref(answer);
  g_object_unref(stream);
  g_bytes_unref(bytes);
}

void finishWithError(WebKitURISchemeRequest* request, const Error& error) {
  GError* gerror =
      g_error_new_literal(g_quark_from_string(error.domain().c_str()),
                          static_cast<gint>(error.code()), error.localizedDescription().c_str());
  webkit_uri_scheme_request_finish_error(request, gerror);
  g_error_free(gerror);
}

}  // namespace

WebKitSchemeTask::WebKitSchemeTask(WebKitURISchemeRequest* request)
    : request_(static_cast<WebKitURISchemeRequest*>(g_object_ref(request))) {
  info_.url = webkit_uri_scheme_request_get_uri(request);
  if (const char* method = webkit_uri_scheme_request_get_http_method(request)) {
    info_.httpMethod = method;
  }
  info_.headers = headerListOf(webkit_uri_scheme_request_get_http_headers(request));
}

WebKitSchemeTask::~WebKitSchemeTask() {
  answer([url = info_.url](WebKitURISchemeRequest* request) {
    finishWithError(request, Error::withDescription(kURLErrorDomain, kURLErrorResourceUnavailable,
                                                    "No answer for " + url));
  });
}

void WebKitSchemeTask::respond(URLSchemeResponse response) {
  answer([response = std::move(response), url = info_.url](WebKitURISchemeRequest* request) {
    finishWithResponse(request, response, url);
  });
}

void WebKitSchemeTask::fail(Error error) {
  answer([error = std::move(error)](WebKitURISchemeRequest* request) {
    finishWithError(request, error);
  });
}

void WebKitSchemeTask::answer(std::function<void(WebKitURISchemeRequest*)> finish) {
  if (answered_.exchange(true)) return;
  // The engine's objects are only touched on the main thread.
  WebKitURISchemeRequest* request = request_.release();
  runOnMainThread([request, finish = std::move(finish)] {
    RequestPtr owned(request);
    finish(request);
  });
}

}  // namespace platform::web
