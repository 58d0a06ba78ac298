#pragma once

#include <memory>

#include "platform/web/url_scheme.h"

// Serves "vkrfile:" URLs to the web view (as image sources, for example): the whole item the URL
// names, from the file plugin's file systems, with the status and headers the page expects.
class VKRFilesystemURLProtocol {
 public:
  static constexpr const char* kScheme = "vkrfile";

  // Installs startLoading() as the web engine's handler of the scheme; without an engine
  // (a process with no web views) there is nothing to serve.
  static void registerClass();
  static bool canInitWithRequest(const platform::web::URLRequest& request);
  // Answers 200 with the bytes, "Content-Type" (when the type is known) and "Cache-Control:
  // no-cache", or 404 with no body when the item can't be read or no file system holds it. The
  // file is read off the main thread.
  static void startLoading(std::shared_ptr<platform::web::URLSchemeTask> task);
};
