#include "messaging/service/zcm_pubsub_cache.h"

#include "messaging/base/zcm_dictionary.h"
#include "messaging/base/zcm_environment.h"
#include "messaging/base/zcm_logger.h"
#include "platform/storage/user_defaults.h"

bool ZCMPubSubCache::verifyCacheEntryState(int8_t state, const std::string& topic,
                                           const std::string& token,
                                           const platform::Dictionary& options) const {
  const platform::Value entry = platform::UserDefaults::standard()->objectForKey(
      cacheKeyForTopic(topic, token, zcm_string(options)));
  const platform::Value::Array* pair = entry.arrayIf();
  if (!pair || pair->size() != 2) return false;
  return (*pair)[0].intOr(0) == state && isCacheEntryValidWithTime((*pair)[1].intOr(0));
}

void ZCMPubSubCache::updateCacheForTopic(const std::string& topic, const std::string& token,
                                         const platform::Dictionary& options, int8_t state) {
  const std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard();
  const std::string key = cacheKeyForTopic(topic, token, zcm_string(options));
  const platform::Status stored = defaults->setObject(
      platform::Value::array(
          {platform::Value(state), platform::Value(ZCMCurrentTimestampInMilliseconds())}),
      key);
  // A lost entry only means the next call asks the server again.
  if (!stored.ok()) ZCM_LOG_ERROR("Failed to cache topic answer %s", key.c_str());
  defaults->synchronize();
}

bool ZCMPubSubCache::isCacheEntryValidWithTime(int64_t millis) {
  const int64_t age = ZCMCurrentTimestampInMilliseconds() - millis;
  return age >= 0 && age <= kCacheRefreshIntervalMillis;
}

std::string ZCMPubSubCache::cacheKeyForTopic(const std::string& topic, const std::string& token,
                                             const std::string& optionsString) {
  return token + "|" + topic + "|" + optionsString + "|";
}
