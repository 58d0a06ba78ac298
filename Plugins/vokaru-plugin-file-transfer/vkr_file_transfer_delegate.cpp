#include "Plugins/vokaru-plugin-file-transfer/vkr_file_transfer_delegate.h"

#include <filesystem>

#include "Plugins/vokaru-plugin-file-transfer/vkr_file_transfer.h"
#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "platform/foundation/log.h"
#include "platform/foundation/utf8.h"
#include "platform/storage/file_manager.h"

namespace {

using platform::Bytes;
using platform::Dictionary;
using platform::Value;
using platform::net::URLConnection;
using platform::net::URLResponse;

// The bytes as text: UTF-8 when they are valid UTF-8, else ISO Latin-1 (when allowed).
std::optional<std::string> textOf(const Bytes& bytes, bool orLatin1) {
  std::string text(bytes.begin(), bytes.end());
  if (platform::isValidUTF8(text)) return text;
  if (!orLatin1) return std::nullopt;
  std::string converted;
  for (uint8_t byte : bytes) {
    if (byte < 0x80) {
      converted += static_cast<char>(byte);
    } else {
      converted += static_cast<char>(0xC0 | (byte >> 6));
      converted += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return converted;
}

VKRPluginResult progressEvent(bool lengthComputable, int64_t loaded, int64_t total) {
  VKRPluginResult result = VKRPluginResult::resultWithStatus(
      kVKRCommandStatusOK,
      Dictionary{{"lengthComputable", lengthComputable}, {"loaded", loaded}, {"total", total}});
  result.setKeepCallback(true);
  return result;
}

}  // namespace

VKRFileTransferDelegate::VKRFileTransferDelegate(Setup setup) : setup_(std::move(setup)) {}

VKRFileTransferDelegate::~VKRFileTransferDelegate() {
  if (targetFileHandle_ != nullptr) std::fclose(targetFileHandle_);
  if (entityLengthRequest_) entityLengthRequest_->cancel();
}

void VKRFileTransferDelegate::willSendRequestForAuthenticationChallenge(
    URLConnection& connection, const platform::net::URLAuthenticationChallenge& challenge,
    ChallengeCompletion completion) {
  const auto& space = challenge.protectionSpace;
  if (space.authenticationMethod != platform::net::kAuthenticationMethodServerTrust) {
    return URLConnectionDelegate::willSendRequestForAuthenticationChallenge(connection, challenge,
                                                                            std::move(completion));
  }
  if (setup_.trustAllHosts && space.serverTrust) {
    return completion(platform::net::AuthChallengeDisposition::UseCredential,
                      platform::net::URLCredential::forTrust(space.serverTrust));
  }
  // An untrusted server without the page's leave: the default handling refuses it.
  completion(platform::net::AuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
}

void VKRFileTransferDelegate::didReceiveResponse(URLConnection& connection,
                                                 const URLResponse& response) {
  mimeType_ = response.mimeType;
  closeTargetFile();
  if (response.isHTTP) {
    responseCode_ = response.statusCode;
    bytesExpected_ = response.expectedContentLength;
    // A compressed body's length is not the length of the bytes it decodes to: the page's
    // progress counts decoded bytes, so their total is learnt as for a body of unknown length.
    const std::optional<std::string> encoding = response.headers.value("Content-Encoding");
    if (encoding && *encoding != "identity") bytesExpected_ = -1;
    responseHeaders_ = Dictionary();
    for (const auto& [name, value] : response.headers.fields()) responseHeaders_.set(name, value);
    if (setup_.direction == kVKRFileTransferDownload && responseCode_ == 200 &&
        bytesExpected_ == -1 && !entityLengthRequest_) {
      entityLengthRequest_ = VKRFileTransferEntityLengthRequest::start(
          connection.currentRequest(), weak_from_this(), setup_.queue);
    }
  } else {
    responseCode_ = 200;
    bytesExpected_ = -1;
    if (std::optional<std::string> path = response.url.filePath()) {
      std::error_code failed;
      const auto size = std::filesystem::file_size(*path, failed);
      if (!failed) bytesExpected_ = static_cast<int64_t>(size);
    }
  }
  if (setup_.direction != kVKRFileTransferDownload || responseCode_ < 200 || responseCode_ > 299) {
    return;
  }
  std::optional<std::string> path = targetFilePath();
  if (!path) return cancelTransferWithError("Could not create target file");
  const std::filesystem::path parent = std::filesystem::path(*path).parent_path();
  if (platform::Status made = platform::FileManager::createDirectory(parent); !made) {
    return cancelTransferWithError("Could not create path to save downloaded file: " +
                                   made.error().localizedDescription());
  }
  targetFileHandle_ = std::fopen(path->c_str(), "wb");
  if (targetFileHandle_ == nullptr) return cancelTransferWithError("Could not create target file");
  createdTargetFile_ = true;
}

void VKRFileTransferDelegate::didReceiveData(URLConnection&, const Bytes& data) {
  bytesTransfered_ += static_cast<int64_t>(data.size());
  if (targetFileHandle_ != nullptr) {
    if (std::fwrite(data.data(), 1, data.size(), targetFileHandle_) != data.size()) {
      return cancelTransferWithError("Could not write target file");
    }
  } else {
    responseData_.insert(responseData_.end(), data.begin(), data.end());
  }
  updateProgress();
}

void VKRFileTransferDelegate::didSendBodyData(URLConnection&, int64_t, int64_t totalBytesWritten,
                                              int64_t totalBytesExpectedToWrite) {
  if (setup_.direction == kVKRFileTransferUpload) {
    send(progressEvent(true, totalBytesWritten, totalBytesExpectedToWrite), false);
  }
  bytesTransfered_ = totalBytesWritten;
}

void VKRFileTransferDelegate::updateBytesExpected(int64_t length) {
  bytesExpected_ = length;
  updateProgress();
}

void VKRFileTransferDelegate::updateProgress() {
  if (setup_.direction != kVKRFileTransferDownload) return;
  if (bytesExpected_ == -1 && entityLengthRequest_) return;
  send(progressEvent(bytesExpected_ != -1, bytesTransfered_, bytesExpected_), false);
}

void VKRFileTransferDelegate::didFinishLoading(URLConnection&) {
  platform::logf("File Transfer Finished with response code %d", responseCode_);
  VKRPluginResult result;
  if (setup_.direction == kVKRFileTransferUpload) {
    if (responseCode_ >= 200 && responseCode_ <= 299) {
      Dictionary answer;
      answer.set("response", *textOf(responseData_, true));
      answer.set("headers", responseHeaders_);
      answer.set("bytesSent", bytesTransfered_);
      answer.set("responseCode", responseCode_);
      result = VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, std::move(answer));
    } else {
      result = VKRPluginResult::resultWithStatus(
          kVKRCommandStatusError,
          errorObject(kVKRFileTransferConnectionError, textOf(responseData_, true)));
    }
  } else if (targetFileHandle_ != nullptr) {
    if (!closeTargetFile()) return cancelTransferWithError("Could not write target file");
    std::shared_ptr<VKRFile> files = setup_.filePlugin.lock();
    std::optional<Dictionary> entry =
        files && setup_.targetURL ? files->makeEntryForURL(*setup_.targetURL) : std::nullopt;
    result = entry ? VKRPluginResult::resultWithStatus(kVKRCommandStatusOK, std::move(*entry))
                   : VKRPluginResult::resultWithStatus(kVKRCommandStatusOK);
  } else {
    const int32_t code = responseCode_ == 404   ? kVKRFileTransferFileNotFound
                         : responseCode_ == 304 ? kVKRFileTransferNotModified
                                                : kVKRFileTransferConnectionError;
    result = VKRPluginResult::resultWithStatus(kVKRCommandStatusError,
                                               errorObject(code, textOf(responseData_, true)));
  }
  send(std::move(result), true);
  unregister();
}

void VKRFileTransferDelegate::didFailWithError(URLConnection&, const platform::Error& error) {
  Dictionary object = errorObject(kVKRFileTransferConnectionError, textOf(responseData_, false));
  platform::logf("File Transfer Error: %s", error.localizedDescription().c_str());
  cancelTransfer();
  send(VKRPluginResult::resultWithStatus(kVKRCommandStatusError, std::move(object)), true);
}

void VKRFileTransferDelegate::stop(std::optional<VKRPluginResult> answer) {
  if (connection_) connection_->cancel();
  setup_.queue->async([self = shared_from_this(), answer = std::move(answer)] {
    if (self->answered_) return;
    self->cancelTransfer();
    if (answer) {
      self->send(*answer, true);
    } else {
      self->answered_ = true;
    }
  });
}

void VKRFileTransferDelegate::cancelTransfer() {
  if (connection_) connection_->cancel();
  if (entityLengthRequest_) entityLengthRequest_->cancel();
  unregister();
  if (setup_.direction == kVKRFileTransferDownload) removeTargetFile();
}

void VKRFileTransferDelegate::cancelTransferWithError(const std::string& message) {
  Dictionary object = errorObject(kVKRFileTransferFileNotFound, message);
  platform::logf("File Transfer Error: %s", message.c_str());
  cancelTransfer();
  send(VKRPluginResult::resultWithStatus(kVKRCommandStatusIOError, std::move(object)), true);
}

std::optional<std::string> VKRFileTransferDelegate::targetFilePath() const {
  const VKRFilesystemURL url = VKRFilesystemURL::fileSystemURLWithString(setup_.target);
  if (url.fileSystemName()) {
    std::shared_ptr<VKRFile> files = setup_.filePlugin.lock();
    if (!files || !files->filesystemForURL(url)) return std::nullopt;
    return files->filesystemPathForURL(url);
  }
  if (setup_.target.starts_with('/')) return setup_.target;
  platform::Result<platform::URL> parsed = platform::URL::parse(setup_.target);
  if (!parsed.ok()) return std::nullopt;
  std::string path = parsed->path();
  if (path.empty()) return std::nullopt;
  return path;
}

void VKRFileTransferDelegate::removeTargetFile() {
  closeTargetFile();
  if (!createdTargetFile_) return;
  createdTargetFile_ = false;
  if (std::optional<std::string> path = targetFilePath()) {
    if (!platform::FileManager::fileExists(*path)) return;
    if (platform::Status removed = platform::FileManager::removeItem(*path); !removed) {
      platform::logf("File Transfer Error: %s", removed.error().description().c_str());
    }
  }
}

bool VKRFileTransferDelegate::closeTargetFile() {
  if (targetFileHandle_ == nullptr) return true;
  const bool closed = std::fclose(targetFileHandle_) == 0;
  targetFileHandle_ = nullptr;
  return closed;
}

void VKRFileTransferDelegate::send(VKRPluginResult result, bool final) {
  if (answered_) return;
  answered_ = final;
  if (std::shared_ptr<VKRFileTransfer> plugin = setup_.command.lock()) {
    plugin->sendResult(result, setup_.callbackId);
  }
}

Dictionary VKRFileTransferDelegate::errorObject(int32_t code,
                                                std::optional<std::string> body) const {
  return VKRFileTransfer::createFileTransferError(code, setup_.source, setup_.target, responseCode_,
                                                  body);
}

void VKRFileTransferDelegate::unregister() {
  if (std::shared_ptr<VKRFileTransfer> plugin = setup_.command.lock()) {
    plugin->unregisterTransfer(*this);
  }
}

std::shared_ptr<VKRFileTransferEntityLengthRequest> VKRFileTransferEntityLengthRequest::start(
    platform::net::URLRequest originalRequest, std::weak_ptr<VKRFileTransferDelegate> delegate,
    platform::QueuePtr queue) {
  platform::net::URLRequest request = std::move(originalRequest);
  request.httpMethod = "HEAD";
  request.setValue("identity", "Accept-Encoding");
  std::shared_ptr<VKRFileTransferEntityLengthRequest> lengthRequest(
      new VKRFileTransferEntityLengthRequest(std::move(delegate)));
  lengthRequest->connection_ = URLConnection::make(std::move(request), lengthRequest);
  lengthRequest->connection_->setDelegateQueue(std::move(queue));
  lengthRequest->connection_->start();
  return lengthRequest;
}

void VKRFileTransferEntityLengthRequest::cancel() { connection_->cancel(); }

void VKRFileTransferEntityLengthRequest::didReceiveResponse(URLConnection&,
                                                            const URLResponse& response) {
  if (std::shared_ptr<VKRFileTransferDelegate> delegate = originalDelegate_.lock()) {
    delegate->updateBytesExpected(response.expectedContentLength);
  }
}
