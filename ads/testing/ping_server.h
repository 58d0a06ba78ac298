#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/foundation/thread_annotations.h"
#include "platform/testing/http_server.h"

namespace ads::testing {

// A loopback HTTP server that answers the engine's tracking pings and counts them:
// "/status/<code>..." answers that status; any other path answers the status set for the
// server (200 until changed). Bodies are empty, as a ping's answer is ignored.
class PingServer {
 public:
  PingServer();

  // "http://127.0.0.1:<port><path>"
  std::string url(std::string_view path) const { return server_.url(path); }
  void setStatus(int status);
  // Requests received for the path with its query ("/status/500?id=1"), and in all.
  int hits(const std::string& pathAndQuery) const;
  int totalHits() const;

 private:
  platform::testing::HttpServer server_;
  mutable platform::Mutex mutex_;
  int status_ VKR_GUARDED_BY(mutex_) = 200;
  std::map<std::string, int> hits_ VKR_GUARDED_BY(mutex_);
};

}  // namespace ads::testing
