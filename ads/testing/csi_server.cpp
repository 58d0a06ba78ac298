#include "ads/testing/csi_server.h"

namespace ads::testing {

CSIServer::CSIServer() {
  server_.routes().Get("/csi",
                       [this](const httplib::Request& request, httplib::Response& response) {
                         Report report;
                         for (const auto& [key, value] : request.params)
                           report.parameters.set(key, value);
                         report.userAgent = request.get_header_value("User-Agent");
                         platform::MutexLock lock(mutex_);
                         reports_.push_back(std::move(report));
                         response.status = 204;
                       });
  server_.start();
}

std::vector<CSIServer::Report> CSIServer::reports() const {
  platform::MutexLock lock(mutex_);
  return reports_;
}

}  // namespace ads::testing
