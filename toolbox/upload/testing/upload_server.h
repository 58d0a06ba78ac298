#pragma once

// A loopback server that speaks the resumable upload protocol from the server's side: "start"
// (a POST that answers the upload's location), then PUTs to the location with "upload",
// "upload, finalize", "finalize", "query" and "cancel". It keeps each upload's bytes and a log of
// the commands, and plays scripted faults on cue, each once: a lost chunk, a 5xx mid-upload, a
// "final" or a hostile count answering a query, a start reply of the test's making, a redirect.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "platform/testing/http_server.h"

namespace upload_testing {

class UploadServer {
 public:
  struct Upload {
    std::string mimeType;
    std::string declaredLength;  // as the start request gave it
    std::string startBody;
    std::string received;  // empty when the server keeps counts only
    int64_t receivedLength = 0;
    bool finalized = false;
    bool cancelled = false;
  };

  // Connections carry one request unless kept alive (for uploads of benchmark size).
  explicit UploadServer(bool keepAlive = false);
  ~UploadServer();

  // Where a start request goes.
  std::string startURL() const { return http_.url("/upload"); }
  std::string url(std::string_view path) const { return http_.url(path); }
  platform::testing::HttpServer& http() { return http_; }

  // Upload ids count from 1.
  std::optional<Upload> upload(int id) const;
  int uploadCount() const;
  // One line per request: "start", "upload 0+10000", "upload, finalize 20000+5000", "query",
  // "cancel" (and "refused ..." for chunks at the wrong offset).
  std::vector<std::string> log() const;

  // Settings and faults (each fault applies to the next request of its kind only).
  // Off: the server counts the bytes but keeps none (for uploads of benchmark size).
  void setKeepsBytes(bool keep);
  void setGranularity(int64_t granularity);
  void loseNextChunk();            // answered as taken, but its bytes are dropped
  void failNextChunk(int status);  // answered with the status; nothing kept
  void answerNextQueryFinal();
  void answerNextQuerySizeReceived(std::string text);  // a count of the test's choosing
  // The next start request is answered by the given handler instead.
  void answerNextStart(std::function<void(httplib::Response&)> reply);
  // The next chunk is redirected (307) to the URL.
  void redirectNextChunkTo(std::string url);
  // Runs before each chunk is answered (with the upload id and the command), on the server's
  // thread: a test can pause there.
  void setChunkObserver(std::function<void(int id, const std::string& command)> observer);

 private:
  void start(const httplib::Request& request, httplib::Response& response);
  void put(const httplib::Request& request, httplib::Response& response);
  void chunk(Upload& upload, const std::string& command, const httplib::Request& request,
             httplib::Response& response) VKR_REQUIRES(mutex_);

  platform::testing::HttpServer http_;
  mutable platform::Mutex mutex_;
  std::map<int, Upload> uploads_ VKR_GUARDED_BY(mutex_);
  std::vector<std::string> log_ VKR_GUARDED_BY(mutex_);
  int64_t granularity_ VKR_GUARDED_BY(mutex_) = 0;
  bool keepsBytes_ VKR_GUARDED_BY(mutex_) = true;
  bool loseNextChunk_ VKR_GUARDED_BY(mutex_) = false;
  int failNextChunk_ VKR_GUARDED_BY(mutex_) = 0;
  bool nextQueryFinal_ VKR_GUARDED_BY(mutex_) = false;
  std::optional<std::string> nextQuerySize_ VKR_GUARDED_BY(mutex_);
  std::function<void(httplib::Response&)> nextStart_ VKR_GUARDED_BY(mutex_);
  std::optional<std::string> redirectNextChunk_ VKR_GUARDED_BY(mutex_);
  std::function<void(int, const std::string&)> chunkObserver_ VKR_GUARDED_BY(mutex_);
};

}  // namespace upload_testing
