#include "Plugins/vokaru-plugin-file/vkr_filesystem_url_protocol.h"

#include "Plugins/vokaru-plugin-file/vkr_file.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/web/web_engine.h"

using platform::web::URLSchemeResponse;

namespace {

void respond(const std::shared_ptr<platform::web::URLSchemeTask>& task,
             std::optional<platform::Bytes> data, const std::optional<std::string>& mimeType) {
  URLSchemeResponse response;
  response.headers.emplace_back("Cache-Control", "no-cache");
  if (!data) {
    response.statusCode = 404;
    task->respond(std::move(response));
    return;
  }
  if (mimeType) {
    response.headers.emplace_back("Content-Type", *mimeType);
    response.mimeType = *mimeType;
  }
  response.body = std::move(*data);
  task->respond(std::move(response));
}

}  // namespace

void VKRFilesystemURLProtocol::registerClass() {
  std::shared_ptr<platform::web::WebEngine> engine = platform::web::webEngine();
  if (!engine) return;
  if (platform::Status registered = engine->registerURLScheme(kScheme, &startLoading);
      !registered) {
    platform::logf("Cannot serve %s: URLs: %s", kScheme, registered.error().description().c_str());
  }
}

bool VKRFilesystemURLProtocol::canInitWithRequest(const platform::web::URLRequest& request) {
  platform::Result<platform::URL> url = platform::URL::parse(request.url);
  return url.ok() && url->scheme() == kScheme;
}

void VKRFilesystemURLProtocol::startLoading(std::shared_ptr<platform::web::URLSchemeTask> task) {
  if (!canInitWithRequest(task->request())) {
    respond(task, std::nullopt, std::nullopt);
    return;
  }
  const VKRFilesystemURL url = VKRFilesystemURL::fileSystemURLWithString(task->request().url);
  std::shared_ptr<VKRFile> plugin = VKRFile::instance();
  std::shared_ptr<VKRFileSystem> fileSystem = plugin ? plugin->filesystemForURL(url) : nullptr;
  if (!fileSystem) {
    respond(task, std::nullopt, std::nullopt);
    return;
  }
  platform::globalQueue()->async([task = std::move(task), url, fileSystem = std::move(fileSystem)] {
    fileSystem->readFileAtURL(
        url, 0, -1,
        [task](std::optional<platform::Bytes> data, std::optional<std::string> mimeType, int32_t) {
          respond(task, std::move(data), mimeType);
        });
  });
}
