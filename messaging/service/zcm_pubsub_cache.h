#pragma once
// The topic answers of the last three days, in the standard user defaults: one key per (token,
// topic, options), "<token>|<topic>|<options>|", holding [state, time of the answer in ms since
// 1970]. Entries are written and overwritten, never removed. Thread-safe through the user
// defaults' own lock.
#include <cstdint>
#include <string>

#include "platform/foundation/value.h"

enum ZCMTopicState : int8_t {
  kZCMTopicSubscribed = 1,
  kZCMTopicUnsubscribed = 2,
};

class ZCMPubSubCache {
 public:
  // Three days.
  static constexpr int64_t kCacheRefreshIntervalMillis = 259'200'000;

  // Whether a valid entry of the state is stored for the topic request.
  bool verifyCacheEntryState(int8_t state, const std::string& topic, const std::string& token,
                             const platform::Dictionary& options) const;
  // Stores the state with the current time and writes the user defaults at once.
  void updateCacheForTopic(const std::string& topic, const std::string& token,
                           const platform::Dictionary& options, int8_t state);
  // An answer no older than three days, and not from the future.
  static bool isCacheEntryValidWithTime(int64_t millis);
  // optionsString is zcm_string() of the options.
  static std::string cacheKeyForTopic(const std::string& topic, const std::string& token,
                                      const std::string& optionsString);
};
