#include "Plugins/vokaru-plugin-file-transfer/vkr_file_transfer.h"

#include <algorithm>
#include <cctype>
#include <span>

#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "platform/foundation/base64.h"
#include "platform/foundation/log.h"
#include "platform/net/bound_stream_pair.h"
#include "platform/ui/application.h"

VKR_REGISTER_PLUGIN(VKRFileTransfer);

namespace {

using platform::Bytes;
using platform::Dictionary;
using platform::Value;
using platform::net::URLRequest;

constexpr std::string_view kCookieParameter = "__cookie";

std::optional<std::string> textArgument(const VKRInvokedUrlCommand& command, size_t index) {
  const std::string* text = command.argumentAtIndex(index).stringIf();
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

std::string textArgument(const VKRInvokedUrlCommand& command, size_t index,
                         std::string_view fallback) {
  return textArgument(command, index).value_or(std::string(fallback));
}

// The page names every transfer so that it can abort it: a transfer without a name is refused.
std::optional<std::string> objectIdArgument(const VKRInvokedUrlCommand& command, size_t index) {
  std::optional<std::string> id = textArgument(command, index);
  if (!id) id = vkrTextOfValue(command.argumentAtIndex(index));
  return id && !id->empty() ? id : std::nullopt;
}

// Base64 as data URLs carry it: characters outside the alphabet are left out.
Bytes decodeBase64Leniently(std::string_view text) {
  std::string kept;
  std::copy_if(text.begin(), text.end(), std::back_inserter(kept), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/';
  });
  if (kept.size() % 4 == 1) kept.pop_back();  // a lone last character holds no whole byte
  while (kept.size() % 4 != 0) kept += '=';
  return platform::base64Decode(kept).value_or(Bytes());
}

bool hasHeader(const Value& headers, std::string_view name) {
  const Dictionary* fields = headers.dictionaryIf();
  if (!fields) return false;
  return std::any_of(fields->begin(), fields->end(), [name](const Dictionary::Entry& entry) {
    return std::equal(entry.first.begin(), entry.first.end(), name.begin(), name.end(),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
  });
}

// Writes the whole part; false when the stream took less.
bool writeWhole(platform::net::OutputStream& stream, std::span<const uint8_t> part) {
  size_t offset = 0;
  while (offset < part.size()) {
    const int64_t written = stream.write(part.data() + offset, part.size() - offset);
    if (written < 0) {
      const std::optional<platform::Error> error = stream.streamError();
      platform::logf("WriteStreamError domain: %s error: %ld", error ? error->domain().c_str() : "",
                     error ? long(error->code()) : 0L);
      return false;
    }
    if (written == 0) return false;
    offset += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

VKRFileTransfer::VKRFileTransfer(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("upload", &VKRFileTransfer::upload);
  addAction("download", &VKRFileTransfer::download);
  addAction("abort", &VKRFileTransfer::abort);
}

Dictionary VKRFileTransfer::createFileTransferError(int32_t code,
                                                    const std::optional<std::string>& source,
                                                    const std::optional<std::string>& target) {
  Dictionary error;
  error.set("code", code);
  if (source) error.set("source", *source);
  if (target) error.set("target", *target);
  platform::logf("FileTransferError %s", platform::describe(Value(error)).c_str());
  return error;
}

Dictionary VKRFileTransfer::createFileTransferError(int32_t code,
                                                    const std::optional<std::string>& source,
                                                    const std::optional<std::string>& target,
                                                    int32_t httpStatus,
                                                    const std::optional<std::string>& body) {
  Dictionary error;
  error.set("code", code);
  if (source) error.set("source", *source);
  if (target) error.set("target", *target);
  error.set("http_status", httpStatus);
  if (body) error.set("body", *body);
  platform::logf("FileTransferError %s", platform::describe(Value(error)).c_str());
  return error;
}

bool VKRFileTransfer::applyRequestHeaders(const Value& headers, URLRequest& request) const {
  // The page's fields are all checked before any is set.
  platform::net::HTTPHeaderFields pageFields;
  const Dictionary noHeaders;
  const Dictionary& fields = headers.dictionaryIf() ? *headers.dictionaryIf() : noHeaders;
  for (const auto& [name, value] : fields) {
    if (!platform::net::isValidHeaderField(name, "")) return false;
    const Value::Array values =
        value.isArray() ? *value.arrayIf() : Value::Array{value.isNull() ? Value("null") : value};
    for (const Value& element : values) {
      std::optional<std::string> text = vkrTextOfValue(element);
      if (!text) continue;
      if (!platform::net::isValidHeaderField(name, *text)) return false;
      pageFields.add(name, *text);
    }
  }
  request.setValue("XMLHttpRequest", "X-Requested-With");
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  const std::string userAgent = delegate ? delegate->userAgent() : std::string();
  if (!userAgent.empty()) request.setValue(userAgent, "User-Agent");
  // A name the page gives replaces what the request held for it.
  for (const auto& entry : fields) request.headers.remove(entry.first);
  for (const auto& [name, value] : pageFields.fields()) request.headers.add(name, value);
  return true;
}

void VKRFileTransfer::upload(const VKRInvokedUrlCommand& command) {
  if (!objectIdArgument(command, 9)) {
    return fail(command, kVKRFileTransferInvalidURL, textArgument(command, 0, ""),
                textArgument(command, 1, ""));
  }
  fileDataForUploadCommand(command);
}

void VKRFileTransfer::fileDataForUploadCommand(const VKRInvokedUrlCommand& command) {
  const std::string source = textArgument(command, 0, "");
  const std::string server = textArgument(command, 1, "");
  if (source.starts_with("data:") && source.find("base64") != std::string::npos) {
    const size_t comma = source.find(',');
    if (comma == std::string::npos)
      return fail(command, kVKRFileTransferInvalidURL, source, server);
    return uploadData(command, decodeBase64Leniently(std::string_view(source).substr(comma + 1)));
  }
  std::shared_ptr<VKRFile> files = filePlugin();
  const VKRFilesystemURL fileSystemURL = VKRFilesystemURL::fileSystemURLWithString(source);
  if (std::shared_ptr<VKRFileSystem> fileSystem = files && fileSystemURL.fileSystemName()
                                                      ? files->filesystemForURL(fileSystemURL)
                                                      : nullptr) {
    std::weak_ptr<VKRFileTransfer> weakSelf = weak_from_this();
    fileSystem->readFileAtURL(
        fileSystemURL, 0, -1,
        [weakSelf, command, source, server](std::optional<Bytes> data, std::optional<std::string>,
                                            int32_t) {
          // Transfers start on the main thread, where the plugin's actions run.
          platform::runOnMainThread([weakSelf, command, source, server, data = std::move(data)] {
            std::shared_ptr<VKRFileTransfer> self = weakSelf.lock();
            if (!self) return;
            if (!data) return self->fail(command, kVKRFileTransferFileNotFound, source, server);
            self->uploadData(command, std::move(data));
          });
        });
    return;
  }
  std::string path = source;
  if (!source.starts_with('/')) {
    platform::Result<platform::URL> url = platform::URL::parse(source);
    path = url.ok() ? url->path() : "";
  }
  if (path.empty()) return fail(command, kVKRFileTransferFileNotFound, source, server);
  // Mapped, not copied: a large file goes out without first filling memory of its own.
  std::shared_ptr<const platform::MappedFile> mapped =
      !files || files->canReadPath(path) ? platform::MappedFile::open(path) : nullptr;
  if (!mapped) {
    platform::logf("Error opening file %s: %s", source.c_str(), "the file could not be read");
    return fail(command, kVKRFileTransferFileNotFound, source, server);
  }
  uploadData(command, std::make_shared<const VKRUploadFile>(std::move(mapped)));
}

void VKRFileTransfer::uploadData(const VKRInvokedUrlCommand& command, std::optional<Bytes> data) {
  uploadData(command, data ? std::make_shared<const VKRUploadFile>(std::move(*data)) : nullptr);
}

void VKRFileTransfer::uploadData(const VKRInvokedUrlCommand& command,
                                 std::shared_ptr<const VKRUploadFile> data) {
  std::optional<URLRequest> request = requestForUploadCommand(command, data);
  if (!request) return;
  startTransfer(delegateForUploadCommand(command), std::move(*request), false);
}

std::optional<URLRequest> VKRFileTransfer::requestForUploadCommand(
    const VKRInvokedUrlCommand& command, const std::shared_ptr<const VKRUploadFile>& data) {
  const std::string source = textArgument(command, 0, "");
  const std::string server = textArgument(command, 1, "");
  platform::Result<platform::URL> url = platform::URL::parse(server);
  if (!url.ok()) {
    platform::logf("File Transfer Error: Invalid server URL %s", server.c_str());
    fail(command, kVKRFileTransferInvalidURL, source, server);
    return std::nullopt;
  }
  if (!data) {
    fail(command, kVKRFileTransferFileNotFound, source, server);
    return std::nullopt;
  }
  URLRequest request(*url);
  request.httpMethod = textArgument(command, 10, "POST");

  const Value& parameters = command.argumentAtIndex(5);
  const Dictionary noParameters;
  const Dictionary& fields = parameters.dictionaryIf() ? *parameters.dictionaryIf() : noParameters;
  if (const Value* cookie = fields.find(kCookieParameter)) {
    request.setValue(vkrTextOfValue(*cookie).value_or(""), "Cookie");
    request.httpShouldHandleCookies = false;
  }

  const Value& headers = command.argumentAtIndex(8);
  const bool multipart = !hasHeader(headers, "Content-Type");
  std::optional<VKRUploadBody> body =
      multipart
          ? VKRUploadBody::multipart(fields, textArgument(command, 2, "file"),
                                     textArgument(command, 3, "image.jpg"),
                                     textArgument(command, 4, "image/jpeg"), data->bytes().size())
          : VKRUploadBody::raw();
  if (multipart) {
    request.setValue(std::string("multipart/form-data; boundary=") + kVKRFormBoundary,
                     "Content-Type");
  }
  const bool validHeaders = std::all_of(
      request.headers.fields().begin(), request.headers.fields().end(), [](const auto& field) {
        return platform::net::isValidHeaderField(field.first, field.second);
      });
  if (!body || !validHeaders || !applyRequestHeaders(headers, request)) {
    platform::logf("File Transfer Error: Invalid form field or header for %s", server.c_str());
    fail(command, kVKRFileTransferInvalidURL, source, server);
    return std::nullopt;
  }
  const size_t length = body->length(data->bytes().size());
  request.setValue(std::to_string(length), "Content-Length");

  if (command.argumentAtIndex(7, true).boolOr(true)) {
    // Streamed: the parts go through a small buffer as the connection takes them.
    platform::net::BoundStreamPair pair =
        platform::net::makeBoundStreamPair(kStreamBufferSize, static_cast<int64_t>(length));
    request.httpBodyStream = pair.input;
    auto write = [output = pair.output, head = std::move(body->head), data,
                  tail = std::move(body->tail)] {
      if (!output->open()) {
        platform::log("FileTransfer: Failed to open writeStream");
      } else {
        for (std::span<const uint8_t> part :
             {std::span<const uint8_t>(head), data->bytes(), std::span<const uint8_t>(tail)}) {
          if (!part.empty() && !writeWhole(*output, part)) break;
        }
      }
      output->close();
    };
    std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
    if (delegate) {
      delegate->runInBackground(std::move(write));
    } else {
      platform::globalQueue()->async(std::move(write));
    }
  } else {
    Bytes whole = std::move(body->head);
    whole.insert(whole.end(), data->bytes().begin(), data->bytes().end());
    whole.insert(whole.end(), body->tail.begin(), body->tail.end());
    request.httpBody = std::move(whole);
  }
  return request;
}

std::shared_ptr<VKRFileTransferDelegate> VKRFileTransfer::delegateForUploadCommand(
    const VKRInvokedUrlCommand& command) {
  VKRFileTransferDelegate::Setup setup;
  setup.command = weak_from_this();
  setup.callbackId = command.callbackId().value_or("");
  setup.objectId = objectIdArgument(command, 9).value_or("");
  setup.direction = kVKRFileTransferUpload;
  setup.source = textArgument(command, 0, "");
  setup.target = textArgument(command, 1, "");
  setup.trustAllHosts = command.argumentAtIndex(6, false).boolOr(false);
  setup.filePlugin = filePlugin();
  setup.queue = queue();
  return std::make_shared<VKRFileTransferDelegate>(std::move(setup));
}

void VKRFileTransfer::download(const VKRInvokedUrlCommand& command) {
  const std::string source = textArgument(command, 0, "");
  std::string target = textArgument(command, 1, "");
  std::optional<std::string> objectId = objectIdArgument(command, 3);
  if (!objectId) return fail(command, kVKRFileTransferInvalidURL, source, target);
  std::shared_ptr<VKRFile> files = filePlugin();

  std::optional<platform::URL> targetURL;
  if (target.starts_with('/')) {
    for (size_t at = target.find("//"); at != std::string::npos; at = target.find("//", at)) {
      target.erase(at, 1);
    }
    std::optional<VKRFilesystemURL> found =
        files ? files->fileSystemURLforLocalPath(target) : std::nullopt;
    if (found) targetURL = found->url();
  } else if (platform::Result<platform::URL> parsed = platform::URL::parse(target); parsed.ok()) {
    targetURL = *parsed;
  }
  platform::Result<platform::URL> sourceURL = platform::URL::parse(source);
  if (!sourceURL.ok()) {
    platform::logf("File Transfer Error: Invalid server URL %s", source.c_str());
    return fail(command, kVKRFileTransferInvalidURL, source, target);
  }
  const std::optional<std::string> filePath = targetURL ? targetURL->filePath() : std::nullopt;
  const bool validTarget =
      targetURL &&
      (targetURL->isFileURL() ? filePath && (!files || files->canWritePath(*filePath))
                              : VKRFilesystemURL(targetURL).fileSystemName().has_value());
  if (!validTarget) {
    platform::logf("File Transfer Error: Invalid file path or URL %s", target.c_str());
    return fail(command, kVKRFileTransferFileNotFound, source, target);
  }

  URLRequest request(*sourceURL);
  if (!applyRequestHeaders(command.argumentAtIndex(4), request)) {
    return fail(command, kVKRFileTransferInvalidURL, source, target);
  }
  VKRFileTransferDelegate::Setup setup;
  setup.command = weak_from_this();
  setup.callbackId = command.callbackId().value_or("");
  setup.objectId = *objectId;
  setup.direction = kVKRFileTransferDownload;
  setup.source = source;
  setup.target = targetURL ? targetURL->absoluteString() : target;
  setup.targetURL = targetURL;
  setup.trustAllHosts = command.argumentAtIndex(2, false).boolOr(false);
  setup.filePlugin = files;
  setup.queue = queue();
  startTransfer(std::make_shared<VKRFileTransferDelegate>(std::move(setup)), std::move(request),
                true);
}

void VKRFileTransfer::abort(const VKRInvokedUrlCommand& command) {
  const std::optional<std::string> objectId = objectIdArgument(command, 0);
  std::shared_ptr<VKRFileTransferDelegate> transfer;
  {
    platform::MutexLock lock(transfersMutex_);
    // The transfer last started under the id.
    auto found =
        std::find_if(activeTransfers_.rbegin(), activeTransfers_.rend(),
                     [&](const Transfer& t) { return t.delegate->objectId() == objectId; });
    if (found != activeTransfers_.rend()) transfer = found->delegate;
  }
  if (!transfer) return;
  transfer->stop(VKRPluginResult::resultWithStatus(
      kVKRCommandStatusError,
      createFileTransferError(kVKRFileTransferAborted, transfer->source(), transfer->target())));
}

void VKRFileTransfer::onReset() {
  std::vector<Transfer> transfers;
  {
    platform::MutexLock lock(transfersMutex_);
    transfers = activeTransfers_;
  }
  for (const Transfer& transfer : transfers) transfer.delegate->stop(std::nullopt);
}

std::vector<std::string> VKRFileTransfer::activeTransferIds() const {
  platform::MutexLock lock(transfersMutex_);
  std::vector<std::string> ids;
  for (const Transfer& transfer : activeTransfers_) ids.push_back(transfer.delegate->objectId());
  return ids;
}

void VKRFileTransfer::unregisterTransfer(const VKRFileTransferDelegate& transfer) {
  platform::ui::BackgroundTaskIdentifier task = platform::ui::kInvalidBackgroundTask;
  {
    platform::MutexLock lock(transfersMutex_);
    auto found = std::find_if(activeTransfers_.begin(), activeTransfers_.end(),
                              [&](const Transfer& t) { return t.delegate.get() == &transfer; });
    if (found == activeTransfers_.end()) return;
    task = found->backgroundTask;
    activeTransfers_.erase(found);
  }
  platform::ui::Application::shared().endBackgroundTask(task);
}

platform::QueuePtr VKRFileTransfer::queue() {
  platform::MutexLock lock(queueMutex_);
  if (!queue_) queue_ = platform::makeSerialQueue("org.vokaru.filetransfer");
  return queue_;
}

void VKRFileTransfer::sendResult(const VKRPluginResult& result,
                                 const std::string& callbackId) const {
  if (std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate()) {
    delegate->sendPluginResult(result, callbackId);
  }
}

void VKRFileTransfer::startTransfer(const std::shared_ptr<VKRFileTransferDelegate>& delegate,
                                    URLRequest request, bool startInBackground) {
  auto connection = platform::net::URLConnection::make(std::move(request), delegate);
  connection->setDelegateQueue(queue());
  delegate->setConnection(connection);
  // A transfer cut short by the app's end stops without answering.
  const platform::ui::BackgroundTaskIdentifier task =
      platform::ui::Application::shared().beginBackgroundTask(
          [weak = std::weak_ptr<VKRFileTransferDelegate>(delegate)] {
            if (auto transfer = weak.lock()) transfer->stop(std::nullopt);
          });
  {
    platform::MutexLock lock(transfersMutex_);
    activeTransfers_.push_back({delegate, task});
  }
  if (startInBackground) {
    platform::globalQueue()->async([connection] { connection->start(); });
  } else {
    connection->start();
  }
}

void VKRFileTransfer::fail(const VKRInvokedUrlCommand& command, int32_t code,
                           const std::string& source, const std::string& target) const {
  sendResult(VKRPluginResult::resultWithStatus(kVKRCommandStatusError,
                                               createFileTransferError(code, source, target)),
             command.callbackId().value_or(""));
}

std::shared_ptr<VKRFile> VKRFileTransfer::filePlugin() const {
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  return std::dynamic_pointer_cast<VKRFile>(delegate ? delegate->getCommandInstance("File")
                                                     : nullptr);
}
