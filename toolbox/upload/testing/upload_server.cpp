#include "toolbox/upload/testing/upload_server.h"

#include <utility>

#include "toolbox/upload/upload_protocol.h"

namespace upload_testing {

namespace up = upload_protocol;

UploadServer::UploadServer(bool keepAlive) {
  httplib::Server& routes = http_.routes();
  if (keepAlive) routes.set_keep_alive_max_count(1000);
  routes.Post("/upload", [this](const httplib::Request& request, httplib::Response& response) {
    start(request, response);
  });
  routes.Put(R"(/upload/(\d+))", [this](const httplib::Request& request,
                                        httplib::Response& response) { put(request, response); });
  http_.start();
}

UploadServer::~UploadServer() = default;

void UploadServer::start(const httplib::Request& request, httplib::Response& response) {
  platform::MutexLock lock(mutex_);
  log_.push_back("start");
  if (nextStart_) {
    std::exchange(nextStart_, nullptr)(response);
    return;
  }
  if (request.get_header_value(up::kProtocolHeader) != up::kProtocolResumable ||
      request.get_header_value(up::kCommandHeader) != up::kCommandStart) {
    response.status = 400;
    return;
  }
  const int id = static_cast<int>(uploads_.size()) + 1;
  Upload& upload = uploads_[id];
  upload.mimeType = request.get_header_value(up::kContentTypeHeader);
  upload.declaredLength = request.get_header_value(up::kContentLengthHeader);
  upload.startBody = request.body;
  response.set_header(up::kStatusHeader, "active");
  response.set_header(up::kURLHeader, http_.url("/upload/" + std::to_string(id)));
  if (granularity_ > 0) response.set_header(up::kGranularityHeader, std::to_string(granularity_));
}

void UploadServer::put(const httplib::Request& request, httplib::Response& response) {
  const int id = std::stoi(request.matches[1]);
  const std::string command = request.get_header_value(up::kCommandHeader);
  std::function<void(int, const std::string&)> observer;
  {
    platform::MutexLock lock(mutex_);
    observer = chunkObserver_;
  }
  if (observer) observer(id, command);
  platform::MutexLock lock(mutex_);
  auto found = uploads_.find(id);
  if (found == uploads_.end()) {
    response.status = 404;
    return;
  }
  Upload& upload = found->second;
  if (command == up::kCommandQuery) {
    log_.push_back("query");
    const bool final = std::exchange(nextQueryFinal_, false) || upload.finalized;
    response.set_header(up::kStatusHeader, final ? "final" : "active");
    response.set_header(up::kSizeReceivedHeader,
                        std::exchange(nextQuerySize_, std::nullopt)
                            .value_or(std::to_string(upload.receivedLength)));
    if (granularity_ > 0) response.set_header(up::kGranularityHeader, std::to_string(granularity_));
    return;
  }
  if (command == up::kCommandCancel) {
    log_.push_back("cancel");
    upload.cancelled = true;
    response.set_header(up::kStatusHeader, "cancelled");
    return;
  }
  if (command == up::kCommandUpload || command == up::kCommandUploadFinalize ||
      command == up::kCommandFinalize) {
    return chunk(upload, command, request, response);
  }
  response.status = 400;
}

void UploadServer::chunk(Upload& upload, const std::string& command,
                         const httplib::Request& request, httplib::Response& response) {
  const std::string offset = request.get_header_value(up::kOffsetHeader);
  const std::string line = command + " " + offset + "+" + std::to_string(request.body.size());
  if (std::optional<std::string> to = std::exchange(redirectNextChunk_, std::nullopt)) {
    log_.push_back("redirected " + line);
    response.status = 307;
    response.set_header("Location", *to);
    return;
  }
  if (const int status = std::exchange(failNextChunk_, 0)) {
    log_.push_back("failed " + line);
    response.status = status;
    return;
  }
  if (upload.cancelled || upload.finalized) {
    log_.push_back("refused " + line);
    response.status = 400;
    response.set_header(up::kStatusHeader, upload.finalized ? "final" : "cancelled");
    return;
  }
  if (offset != std::to_string(upload.receivedLength)) {
    log_.push_back("refused " + line);
    response.status = 400;
    response.set_header(up::kStatusHeader, "active");
    return;
  }
  log_.push_back(line);
  if (!std::exchange(loseNextChunk_, false)) {
    upload.receivedLength += static_cast<int64_t>(request.body.size());
    if (keepsBytes_) upload.received += request.body;
  }
  if (command == up::kCommandUpload) {
    response.set_header(up::kStatusHeader, "active");
    return;
  }
  upload.finalized = true;
  response.set_header(up::kStatusHeader, "final");
  response.set_content("stored " + std::to_string(upload.receivedLength) + " bytes", "text/plain");
}

std::optional<UploadServer::Upload> UploadServer::upload(int id) const {
  platform::MutexLock lock(mutex_);
  auto found = uploads_.find(id);
  if (found == uploads_.end()) return std::nullopt;
  return found->second;
}

int UploadServer::uploadCount() const {
  platform::MutexLock lock(mutex_);
  return static_cast<int>(uploads_.size());
}

std::vector<std::string> UploadServer::log() const {
  platform::MutexLock lock(mutex_);
  return log_;
}

void UploadServer::setGranularity(int64_t granularity) {
  platform::MutexLock lock(mutex_);
  granularity_ = granularity;
}

void UploadServer::setKeepsBytes(bool keep) {
  platform::MutexLock lock(mutex_);
  keepsBytes_ = keep;
}

void UploadServer::loseNextChunk() {
  platform::MutexLock lock(mutex_);
  loseNextChunk_ = true;
}

void UploadServer::failNextChunk(int status) {
  platform::MutexLock lock(mutex_);
  failNextChunk_ = status;
}

void UploadServer::answerNextQueryFinal() {
  platform::MutexLock lock(mutex_);
  nextQueryFinal_ = true;
}

void UploadServer::answerNextQuerySizeReceived(std::string text) {
  platform::MutexLock lock(mutex_);
  nextQuerySize_ = std::move(text);
}

void UploadServer::answerNextStart(std::function<void(httplib::Response&)> reply) {
  platform::MutexLock lock(mutex_);
  nextStart_ = std::move(reply);
}

void UploadServer::redirectNextChunkTo(std::string url) {
  platform::MutexLock lock(mutex_);
  redirectNextChunk_ = std::move(url);
}

void UploadServer::setChunkObserver(std::function<void(int, const std::string&)> observer) {
  platform::MutexLock lock(mutex_);
  chunkObserver_ = std::move(observer);
}

}  // namespace upload_testing
