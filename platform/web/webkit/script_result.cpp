#include "platform/web/webkit/script_result.h"

#include <gio/gio.h>
#include <webkit2/webkit2.h>

#include "platform/web/web_errors.h"

namespace platform::web {

namespace {

std::string scriptValueText(JSCValue* value) {
  if (!value || jsc_value_is_undefined(value) || jsc_value_is_null(value)) return "";
  // As bytes, so a string with NUL characters keeps all of them.
  GBytes* bytes = jsc_value_to_string_as_bytes(value);
  if (!bytes) return "";
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string text(data ? data : "", data ? size : 0);
  g_bytes_unref(bytes);
  return text;
}

}  // namespace

Result<std::string> scriptResult(JSCValue* value, const GError* error) {
  if (!error) return scriptValueText(value);
  int64_t code = kWebViewErrorScriptException;
  if (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_CANCELLED) {
    code = kWebViewErrorWebViewInvalidated;
  } else if (error->domain == WEBKIT_JAVASCRIPT_ERROR &&
             error->code == WEBKIT_JAVASCRIPT_ERROR_INVALID_RESULT) {
    code = kWebViewErrorUnsupportedResult;
  }
  return Error::withDescription(kWebViewErrorDomain, code, error->message ? error->message : "");
}

}  // namespace platform::web
