#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "VokaruLib/Classes/Public/vkr_plugin_result.h"
#include "platform/foundation/url.h"
#include "platform/foundation/value.h"
#include "platform/net/url_connection.h"

class VKRFile;
class VKRFileTransfer;
class VKRFileTransferEntityLengthRequest;

// Which way a transfer goes.
enum VKRFileTransferDirection : int32_t {
  kVKRFileTransferUpload = 1,
  kVKRFileTransferDownload = 2,
};

// The codes of the page's transfer error objects.
enum VKRFileTransferErrorCode : int32_t {
  kVKRFileTransferFileNotFound = 1,
  kVKRFileTransferInvalidURL = 2,
  kVKRFileTransferConnectionError = 3,
  kVKRFileTransferAborted = 4,
  kVKRFileTransferNotModified = 5,
};

// Drives one upload or download of the file-transfer plugin as the delegate of its URL
// connection: records the response, writes a download into its target file or keeps an
// upload's response body, sends progress events to the page and answers the transfer's callback
// exactly once (or not at all when the transfer is cancelled silently). Every connection call,
// cancel and answer runs on the plugin's serial queue; stop() may be called from any thread.
class VKRFileTransferDelegate final : public platform::net::URLConnectionDelegate,
                                      public std::enable_shared_from_this<VKRFileTransferDelegate> {
 public:
  struct Setup {
    std::weak_ptr<VKRFileTransfer> command;
    std::string callbackId;
    std::string objectId;
    VKRFileTransferDirection direction = kVKRFileTransferUpload;
    // Upload: the source argument; download: the source URL text.
    std::string source;
    // Upload: the server URL text; download: the target URL's absolute text.
    std::string target;
    // Download: the target as a "vkrfile:" or "file:" URL.
    std::optional<platform::URL> targetURL;
    bool trustAllHosts = false;
    std::weak_ptr<VKRFile> filePlugin;
    // The plugin's queue, on which the connection calls arrive.
    platform::QueuePtr queue;
  };

  explicit VKRFileTransferDelegate(Setup setup);
  ~VKRFileTransferDelegate() override;

  const std::string& objectId() const { return setup_.objectId; }
  VKRFileTransferDirection direction() const { return setup_.direction; }
  const std::string& source() const { return setup_.source; }
  const std::string& target() const { return setup_.target; }
  std::shared_ptr<platform::net::URLConnection> connection() const { return connection_; }
  // Set once, before the connection starts.
  void setConnection(std::shared_ptr<platform::net::URLConnection> connection) {
    connection_ = std::move(connection);
  }

  // Connection calls.
  void willSendRequestForAuthenticationChallenge(
      platform::net::URLConnection& connection,
      const platform::net::URLAuthenticationChallenge& challenge,
      ChallengeCompletion completion) override;
  void didReceiveResponse(platform::net::URLConnection& connection,
                          const platform::net::URLResponse& response) override;
  void didReceiveData(platform::net::URLConnection& connection,
                      const platform::Bytes& data) override;
  void didSendBodyData(platform::net::URLConnection& connection, int64_t bytesWritten,
                       int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) override;
  void didFinishLoading(platform::net::URLConnection& connection) override;
  void didFailWithError(platform::net::URLConnection& connection,
                        const platform::Error& error) override;

  // The expected length learnt later (from a HEAD request).
  void updateBytesExpected(int64_t length);
  // Sends a download's progress event (nothing while the length is being learnt).
  void updateProgress();
  // The download target's device path.
  std::optional<std::string> targetFilePath() const;

  // Stops the connection at once (any thread); then, on the queue, ends the transfer: the
  // registration and background task go, a download's target file is removed, and the page is
  // given `answer` unless it was answered already.
  void stop(std::optional<VKRPluginResult> answer);

 private:
  // Queue only, from here on.
  void cancelTransfer();
  void cancelTransferWithError(const std::string& message);
  void removeTargetFile();
  // Closes the target file; false when what was written could not be flushed.
  bool closeTargetFile();
  // Answers the page; only the first final answer goes out.
  void send(VKRPluginResult result, bool final);
  platform::Dictionary errorObject(int32_t code, std::optional<std::string> body) const;
  void unregister();

  const Setup setup_;
  std::shared_ptr<platform::net::URLConnection> connection_;
  int32_t responseCode_ = 0;
  platform::Dictionary responseHeaders_;
  platform::Bytes responseData_;
  std::string mimeType_;
  int64_t bytesTransfered_ = 0;
  int64_t bytesExpected_ = -1;
  std::FILE* targetFileHandle_ = nullptr;
  // A failed transfer removes the target file only once it opened it: a file at the target that
  // the transfer never touched stays.
  bool createdTargetFile_ = false;
  std::shared_ptr<VKRFileTransferEntityLengthRequest> entityLengthRequest_;
  bool answered_ = false;
};

// Learns a download's length with a HEAD request when its response did not state it, and hands
// it to the transfer's delegate (held weakly). Its answers run on the given queue.
class VKRFileTransferEntityLengthRequest final : public platform::net::URLConnectionDelegate {
 public:
  static std::shared_ptr<VKRFileTransferEntityLengthRequest> start(
      platform::net::URLRequest originalRequest, std::weak_ptr<VKRFileTransferDelegate> delegate,
      platform::QueuePtr queue);
  // Stops the request; its answer, if still to come, is dropped.
  void cancel();

  void didReceiveResponse(platform::net::URLConnection& connection,
                          const platform::net::URLResponse& response) override;

 private:
  explicit VKRFileTransferEntityLengthRequest(std::weak_ptr<VKRFileTransferDelegate> delegate)
      : originalDelegate_(std::move(delegate)) {}

  const std::weak_ptr<VKRFileTransferDelegate> originalDelegate_;
  // The connection holds this request until it ends, and this request holds the connection.
  std::shared_ptr<platform::net::URLConnection> connection_;
};
