#include "ads/testing/ping_server.h"

#include <cstdlib>

#include "ads/foundation/url_additions.h"
#include "platform/net/http_date.h"

namespace ads::testing {

namespace {

// Whether the request asks for the file only if it changed after it was last modified.
bool isCurrent(const httplib::Request& request) {
  const auto since = platform::net::parseHTTPDate(request.get_header_value("If-Modified-Since"));
  return since && *since >= *platform::net::parseHTTPDate(PingServer::kLastModified);
}

}  // namespace

PingServer::PingServer() {
  server_.routes().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    platform::MutexLock lock(mutex_);
    ++hits_[request.target];  // the path and query as sent
    lastHeaders_[request.target] = request.headers;
    constexpr std::string_view kStatusPrefix = "/status/";
    if (request.path.rfind(kStatusPrefix, 0) == 0) {
      response.status = std::atoi(request.path.c_str() + kStatusPrefix.size());
    } else if (request.path == "/redirect") {
      response.status = 302;
      response.set_header("Location", request.get_param_value("to"));
    } else if (request.path == "/modified") {
      response.set_header("Last-Modified", kLastModified);
      response.status = isCurrent(request) ? 304 : 200;
      if (response.status == 200) response.set_content(kModifiedBody, "text/plain");
    } else {
      response.status = status_;
    }
  });
  server_.start();
}

std::string PingServer::redirectURL(std::string_view target) const {
  return url("/redirect?to=" + zad_stringByEscapingAsURLParameter(target));
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

std::optional<std::string> PingServer::lastHeader(const std::string& pathAndQuery,
                                                  const std::string& name) const {
  platform::MutexLock lock(mutex_);
  auto request = lastHeaders_.find(pathAndQuery);
  if (request == lastHeaders_.end()) return std::nullopt;
  auto header = request->second.find(name);
  if (header == request->second.end()) return std::nullopt;
  return header->second;
}

}  // namespace ads::testing
