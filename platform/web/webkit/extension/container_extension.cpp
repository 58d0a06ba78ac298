// Loaded by WebKit into every web process: pages run their scripts there, and every request a page
// makes (fetch, XHR, images, scripts, style sheets, frames, the page itself) passes this
// extension's "send-request" handler before it is sent. A "file:" request for a file outside the
// app's container (sent by the app as the initialization data) is stopped, so a page reads only
// the app's own files. Built without the sanitizers: the web process isn't instrumented.
#include <webkit2/webkit-web-extension.h>

#include <string>
#include <vector>

#include "platform/storage/app_container.h"

namespace {

// Set once, as the process loads the extension, and read on the web process's main thread.
platform::AppContainer container;

std::vector<std::string> stringsOf(GVariant* array) {
  std::vector<std::string> strings;
  GVariantIter iter;
  g_variant_iter_init(&iter, array);
  const gchar* text = nullptr;
  while (g_variant_iter_next(&iter, "&s", &text)) strings.emplace_back(text);
  return strings;
}

// The file a "file:" URL names; "" for a file on another host or a URL that doesn't parse.
std::string localPathOf(const std::string& uri) {
  // The query and fragment are not part of the file's name.
  const std::string withoutSuffix = uri.substr(0, uri.find_first_of("?#"));
  gchar* host = nullptr;
  gchar* path = g_filename_from_uri(withoutSuffix.c_str(), &host, nullptr);
  const bool local = path && (!host || g_ascii_strcasecmp(host, "localhost") == 0);
  std::string result = local ? path : "";
  g_free(host);
  g_free(path);
  return result;
}

gboolean onSendRequest(WebKitWebPage*, WebKitURIRequest* request, WebKitURIResponse*, gpointer) {
  const char* uri = webkit_uri_request_get_uri(request);
  if (!uri || g_ascii_strncasecmp(uri, "file:", 5) != 0) return FALSE;
  const std::string path = localPathOf(uri);
  if (!path.empty() && container.canRead(path)) return FALSE;
  g_message("Refused a request outside the app's container: %s", uri);
  return TRUE;  // the request is not sent
}

void onPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "send-request", G_CALLBACK(onSendRequest), nullptr);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, const GVariant* constData) {
  // Data of another shape leaves the container empty: every file request is refused.
  auto* data = const_cast<GVariant*>(constData);
  if (data && g_variant_is_of_type(data, G_VARIANT_TYPE("(asasas)"))) {
    GVariant* readOnly = g_variant_get_child_value(data, 0);
    GVariant* readWrite = g_variant_get_child_value(data, 1);
    GVariant* excluded = g_variant_get_child_value(data, 2);
    container.readOnly = stringsOf(readOnly);
    container.readWrite = stringsOf(readWrite);
    container.excluded = stringsOf(excluded);
    g_variant_unref(readOnly);
    g_variant_unref(readWrite);
    g_variant_unref(excluded);
  }
  g_signal_connect(extension, "page-created", G_CALLBACK(onPageCreated), nullptr);
}
