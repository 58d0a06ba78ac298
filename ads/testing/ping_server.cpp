#include "ads/testing/ping_server.h"

#include <cstdlib>

namespace ads::testing {

PingServer::PingServer() {
  server_.routes().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    platform::MutexLock lock(mutex_);
    ++hits_[request.target];  // the path and query as sent
    constexpr std::string_view kStatusPrefix = "/status/";
    if (request.path.rfind(kStatusPrefix, 0) == 0) {
      response.status = std::atoi(request.path.c_str() + kStatusPrefix.size());
    } else {
      response.status = status_;
    }
  });
  server_.start();
}

void PingServer::setStatus(int status) {
  platform::MutexLock lock(mutex_);
  status_ = status;
}

int PingServer::hits(const std::string& pathAndQuery) const {
  platform::MutexLock lock(mutex_);
  auto it = hits_.find(pathAndQuery);
  return it == hits_.end() ? 0 : it->second;
}

int PingServer::totalHits() const {
  platform::MutexLock lock(mutex_);
  int total = 0;
  for (const auto& [target, count] : hits_) total += count;
  return total;
}

}  // namespace ads::testing
