#include "instance_id/checkin_service.h"

#include "instance_id/iid_locale.h"
#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/system_info.h"

VIZInstanceIDCheckinService::VIZInstanceIDCheckinService(
    std::weak_ptr<VIZInstanceIDCheckinCache> checkinCache)
    : checkinCache_(std::move(checkinCache)) {
  if (auto cache = checkinCache_.lock()) checkinPreferences_ = cache->cachedCheckinPreferences();
}

VIZInstanceIDCheckinService::~VIZInstanceIDCheckinService() { stopFetching(); }

void VIZInstanceIDCheckinService::tryToLoadPrefetchedCheckinPreferences() {
  auto cache = checkinCache_.lock();
  if (!cache) return;
  std::optional<VIZInstanceIDCheckinPreferences> cached = cache->cachedCheckinPreferences();
  if (cached && cached->hasValidCheckinInfo()) checkinPreferences_ = std::move(cached);
}

VIZInstanceIDCheckinRequest VIZInstanceIDCheckinService::checkinParameters() const {
  return {deviceAuthID(),
          secretToken(),
          digest(),
          lastCheckinTimestampMillis(),
          platform::randomUInt32(),
          VIZInstanceIDLocale::zorovaLocale().locale(),
          platform::timeZoneIdentifier(),
          VIZInstanceIDDevice::currentDevice().modelVersion(),
          platform::systemVersion()};
}

void VIZInstanceIDCheckinService::checkinWithCompletion(Completion completion) {
  platform::net::URLRequest request = VIZInstanceIDRequestWithURL(VIZInstanceIDCheckinServer());
  request.setValue("application/json", "content-type");
  fetcher_ = ZSDK_ZTMSessionFetcher::fetcherWithRequest(std::move(request));
  fetcher_->setBodyData(platform::bytesOf(VIZInstanceIDCheckinRequestJSON(checkinParameters())));
  fetcher_->beginFetchWithCompletionHandler(
      [weakSelf = weak_from_this(), completion = std::move(completion)](
          const std::optional<platform::Bytes>& data, const std::optional<platform::Error>& error) {
        // A service that goes away stops its fetch, so this runs only while it lives.
        if (auto self = weakSelf.lock()) self->handleReply(data, error, completion);
      });
}

void VIZInstanceIDCheckinService::handleReply(const std::optional<platform::Bytes>& data,
                                              const std::optional<platform::Error>& error,
                                              const Completion& completion) {
  const auto finish = [&](std::optional<platform::Error> result) {
    if (completion) completion(result);
  };
  if (error) return finish(error);
  platform::Result<VIZInstanceIDCheckinReply> reply = VIZInstanceIDParseCheckinReply(
      data ? std::string_view(reinterpret_cast<const char*>(data->data()), data->size()) : "");
  if (!reply.ok()) return finish(reply.error());
  if (reply->deviceID.empty()) return finish(VIZInstanceIDError(kVIZInstanceIDErrorUnknown));

  int64_t checkinTime = reply->timeMillis;
  const int64_t now = VIZInstanceIDCurrentTimestampInMilliseconds();
  if (checkinTime > now) {
    VIZ_IID_LOG_ERROR("Invalid last checkin timestamp in future.");
    checkinTime = now;
  }
  checkinPreferences_.emplace(reply->deviceID, reply->secretToken);
  checkinPreferences_->updateWithCheckinPlistContents(
      {{kVIZInstanceIDDigestKey, reply->digest},
       {kVIZInstanceIDVersionInfoKey, reply->versionInfo},
       {kVIZInstanceIDLastCheckinTimestampKey, checkinTime},
       {kVIZInstanceIDZServicesDataKey, reply->settings}});

  std::optional<platform::Error> saveError;
  auto cache = checkinCache_.lock();
  if (cache && cache->saveCheckinPreferences(*checkinPreferences_, &saveError)) {
    return finish(std::nullopt);
  }
  checkinPreferences_->reset();
  finish(VIZInstanceIDError(kVIZInstanceIDErrorInvalidCheckin));
}

void VIZInstanceIDCheckinService::stopFetching() {
  if (fetcher_) fetcher_->stopFetching();
  fetcher_.reset();
}

void VIZInstanceIDCheckinService::reset() {
  if (checkinPreferences_) checkinPreferences_->reset();
}
