#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/value.h"
#include "platform/testing/http_server.h"

namespace ads::testing {

// A loopback CSI collection endpoint: answers 204 to GET "/csi" and keeps each report's query
// parameters (decoded) and user agent.
class CSIServer {
 public:
  struct Report {
    platform::Dictionary parameters;
    std::string userAgent;
  };

  CSIServer();
  // "http://127.0.0.1:<port>/csi"
  std::string endpoint() const { return server_.url("/csi"); }
  std::vector<Report> reports() const;

 private:
  platform::testing::HttpServer server_;
  mutable platform::Mutex mutex_;
  std::vector<Report> reports_ VKR_GUARDED_BY(mutex_);
};

}  // namespace ads::testing
