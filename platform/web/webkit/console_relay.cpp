#include "platform/web/webkit/console_relay.h"

#include <cstdio>
#include <string>

namespace platform::web {

namespace {

constexpr const char* kHandlerName = "vokaruConsole";

// Each console call becomes one line of text, made in the page, which this process only prints.
constexpr const char* kRelayScript = R"((function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  var relay = handlers && handlers.vokaruConsole;
  if (!relay || !window.console) return;
  function text(value) {
    if (typeof value === 'string') return value;
    if (value instanceof Error) return String(value);
    try {
      var json = JSON.stringify(value);
      if (json !== undefined) return json;
    } catch (e) {}
    return String(value);
  }
  function send(level, values) {
    relay.postMessage('CONSOLE ' + level + ' ' + Array.prototype.map.call(values, text).join(' '));
  }
  ['log', 'info', 'warn', 'error', 'debug'].forEach(function (name) {
    var original = console[name];
    console[name] = function () {
      send(name.toUpperCase(), arguments);
      if (original) original.apply(console, arguments);
    };
  });
  window.addEventListener('error', function (event) {
    var where = event.filename ? ' (' + event.filename + ':' + event.lineno + ')' : '';
    send('ERROR', [(event.message || 'Script error') + where]);
  });
  window.addEventListener('unhandledrejection', function (event) {
    send('ERROR', ['Unhandled Promise Rejection: ' + text(event.reason)]);
  });
})();)";

void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (!jsc_value_is_string(value)) return;
  char* line = jsc_value_to_string(value);
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  g_free(line);
}

}  // namespace

void relayConsoleToStandardOutput(WebKitWebView* view) {
  WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view);
  if (g_object_get_data(G_OBJECT(manager), kHandlerName)) return;
  g_object_set_data(G_OBJECT(manager), kHandlerName, GINT_TO_POINTER(1));
  g_signal_connect(manager, "script-message-received::vokaruConsole", G_CALLBACK(onMessage),
                   nullptr);
  webkit_user_content_manager_register_script_message_handler(manager, kHandlerName);
  WebKitUserScript* script =
      webkit_user_script_new(kRelayScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(manager, script);
  webkit_user_script_unref(script);
}

}  // namespace platform::web
