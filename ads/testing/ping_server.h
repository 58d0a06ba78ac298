#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/thread_annotations.h"
#include "platform/testing/http_server.h"

namespace ads::testing {

// A loopback HTTP server that answers the engine's tracking pings and counts them:
// "/status/<code>..." answers that status; "/redirect?to=<URL>" redirects (302) to the URL,
// which may be relative or of any scheme; "/modified" serves a file last modified at
// kLastModified and answers 304 to a request "If-Modified-Since" that date or later; any other
// path answers the status set for the server (200 until changed). Other bodies are empty, as a
// ping's answer is ignored.
class PingServer {
 public:
  static constexpr const char* kLastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
  static constexpr const char* kModifiedBody = "fresh content";

  PingServer();

  // "http://127.0.0.1:<port><path>"
  std::string url(std::string_view path) const { return server_.url(path); }
  // The URL of "/redirect" to the target.
  std::string redirectURL(std::string_view target) const;
  void setStatus(int status);
  // Requests received for the path with its query ("/status/500?id=1"), and in all.
  int hits(const std::string& pathAndQuery) const;
  int totalHits() const;
  // A header of the last request for the path with its query; nothing when it had none.
  std::optional<std::string> lastHeader(const std::string& pathAndQuery,
                                        const std::string& name) const;

 private:
  platform::testing::HttpServer server_;
  mutable platform::Mutex mutex_;
  int status_ VKR_GUARDED_BY(mutex_) = 200;
  std::map<std::string, int> hits_ VKR_GUARDED_BY(mutex_);
  std::map<std::string, httplib::Headers> lastHeaders_ VKR_GUARDED_BY(mutex_);
};

}  // namespace ads::testing
