#include "VokaruLib/Classes/Public/vkr_url_protocol.h"

#include "platform/foundation/log.h"
#include "platform/media/photo_library.h"
#include "platform/web/web_engine.h"

using platform::web::URLSchemeResponse;
using platform::web::URLSchemeTask;

void VKRURLProtocol::registerClass() {
  std::shared_ptr<platform::web::WebEngine> engine = platform::web::webEngine();
  if (!engine) return;
  if (platform::Status registered = engine->registerURLScheme(kScheme, &startLoading);
      !registered) {
    platform::logf("Cannot serve %s: URLs: %s", kScheme, registered.error().description().c_str());
  }
}

bool VKRURLProtocol::canInitWithRequest(const platform::web::URLRequest& request) {
  return request.url.starts_with("assets-library://");
}

void VKRURLProtocol::startLoading(std::shared_ptr<URLSchemeTask> task) {
  const std::string url = task->request().url;
  if (!canInitWithRequest(task->request())) {
    sendResponseWithResponseCode(task, 401, platform::bytesOf("Access not allowed to URL: " + url),
                                 "text/plain");
    return;
  }
  platform::media::PhotoLibrary::assetForURL(
      url,
      [task](std::optional<platform::media::PhotoAsset> asset) {
        if (!asset) {
          sendResponseWithResponseCode(task, 404, std::nullopt, std::nullopt);
          return;
        }
        // An asset removed between the lookup and the read is as good as unknown: never a 200
        // that stands for a failed read.
        platform::Result<platform::Bytes> bytes = asset->bytes(0, asset->size());
        if (!bytes) {
          sendResponseWithResponseCode(task, 404, std::nullopt, std::nullopt);
          return;
        }
        sendResponseWithResponseCode(task, 200, std::move(*bytes), asset->mimeType());
      },
      [task](const platform::Error&) {
        sendResponseWithResponseCode(task, 401, std::nullopt, std::nullopt);
      });
}

void VKRURLProtocol::sendResponseWithResponseCode(const std::shared_ptr<URLSchemeTask>& task,
                                                  int statusCode,
                                                  std::optional<platform::Bytes> data,
                                                  const std::optional<std::string>& mimeType) {
  URLSchemeResponse response;
  response.statusCode = statusCode;
  response.mimeType = mimeType.value_or("text/plain");
  response.headers.emplace_back("Content-Type", response.mimeType);
  response.headers.emplace_back("Cache-Control", "no-store");
  if (data) response.body = std::move(*data);
  task->respond(std::move(response));
}
