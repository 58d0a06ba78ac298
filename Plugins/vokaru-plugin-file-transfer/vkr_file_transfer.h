#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Plugins/vokaru-plugin-file-transfer/vkr_file_transfer_delegate.h"
#include "Plugins/vokaru-plugin-file-transfer/vkr_upload_body.h"
#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/net/url_request.h"

// The plugin behind the page's file transfers (service "FileTransfer"): uploads a file (from a
// "vkrfile:" URL, a device path, a "file:" URL or a base64 "data:" URL) as a multipart form or
// a raw body, downloads a URL into a file, and aborts a running transfer by the id the page gave
// it. Each transfer is one URL connection driven by a VKRFileTransferDelegate on the plugin's
// serial queue; the file plugin ("File") reads sources and names targets. Actions run on the
// main thread; the table of running transfers is guarded by its own lock.
class VKRFileTransfer : public VKRPlugin, public std::enable_shared_from_this<VKRFileTransfer> {
 public:
  // The size of the buffer a streamed upload body passes through.
  static constexpr size_t kStreamBufferSize = 32768;

  explicit VKRFileTransfer(std::shared_ptr<VKRWebViewEngineProtocol> engine);

  // Cancels every transfer without answering the page.
  void onReset() override;

  // The page's error object; logged as "FileTransferError %@".
  static platform::Dictionary createFileTransferError(int32_t code,
                                                      const std::optional<std::string>& source,
                                                      const std::optional<std::string>& target);
  static platform::Dictionary createFileTransferError(int32_t code,
                                                      const std::optional<std::string>& source,
                                                      const std::optional<std::string>& target,
                                                      int32_t httpStatus,
                                                      const std::optional<std::string>& body);

  // Sets "X-Requested-With", the page's user agent and the page's headers (a value or an array
  // of values per name; null is sent as the text "null"). False, with the request untouched by
  // the page's headers, when a name or value holds what could split a header.
  bool applyRequestHeaders(const platform::Value& headers,
                           platform::net::URLRequest& request) const;

  // The ids of the running transfers, in the order they started.
  std::vector<std::string> activeTransferIds() const;
  // Removes the transfer's own registration and ends its own background task. Any thread.
  void unregisterTransfer(const VKRFileTransferDelegate& transfer);
  // The queue every transfer's delegate runs on; made at the first transfer.
  platform::QueuePtr queue();
  // Answers the page through the command delegate. Any thread.
  void sendResult(const VKRPluginResult& result, const std::string& callbackId) const;

 private:
  struct Transfer {
    std::shared_ptr<VKRFileTransferDelegate> delegate;
    platform::ui::BackgroundTaskIdentifier backgroundTask;
  };

  // Page actions.
  void upload(const VKRInvokedUrlCommand& command);
  void download(const VKRInvokedUrlCommand& command);
  void abort(const VKRInvokedUrlCommand& command);

  // Reads the upload's source and hands the bytes on, perhaps from another thread.
  void fileDataForUploadCommand(const VKRInvokedUrlCommand& command);
  void uploadData(const VKRInvokedUrlCommand& command, std::optional<platform::Bytes> data);
  void uploadData(const VKRInvokedUrlCommand& command, std::shared_ptr<const VKRUploadFile> data);
  // The request, or nothing after the page was answered.
  std::optional<platform::net::URLRequest> requestForUploadCommand(
      const VKRInvokedUrlCommand& command, const std::shared_ptr<const VKRUploadFile>& data);
  std::shared_ptr<VKRFileTransferDelegate> delegateForUploadCommand(
      const VKRInvokedUrlCommand& command);
  // Registers the transfer under a background task and starts its connection (from the global
  // queue when asked).
  void startTransfer(const std::shared_ptr<VKRFileTransferDelegate>& delegate,
                     platform::net::URLRequest request, bool startInBackground);
  void fail(const VKRInvokedUrlCommand& command, int32_t code, const std::string& source,
            const std::string& target) const;
  std::shared_ptr<VKRFile> filePlugin() const;

  mutable platform::Mutex transfersMutex_;
  std::vector<Transfer> activeTransfers_ VKR_GUARDED_BY(transfersMutex_);
  platform::Mutex queueMutex_;
  platform::QueuePtr queue_ VKR_GUARDED_BY(queueMutex_);
};
