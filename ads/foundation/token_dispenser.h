#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ads/foundation/signed_in_user.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/value.h"

// One cached OAuth access token.
struct ZADTokenCacheEntry {
  std::string token;
  platform::Date lastAccess;
  platform::Date expiration;
  double lifespanInSeconds = 0;

  platform::Value encoded() const;
  static std::optional<ZADTokenCacheEntry> decoded(const platform::Value& value);
};

// An OAuth token answer: the access token and, when the answer gives a number, its lifespan.
struct ZADTokenAnswer {
  std::string accessToken;
  std::optional<double> expiresIn;
};
// The answer in a token response body; nothing unless it is a JSON dictionary whose
// "access_token" is text (an OAuth error answer, say).
std::optional<ZADTokenAnswer> ZADParseTokenAnswer(const platform::Bytes& body);

// Turns the signed-in user's refresh token into short-lived OAuth access tokens for signed-in
// ads: one cached token per user, kept across runs in the user defaults, renewed by a repeating
// timer before it expires, and handed to the ad request builder synchronously.
//
// Thread-safe: the cache lives on the dispenser's serial queue; every change and every network
// answer runs there, and token() waits for its turn. User changes arrive on the main thread.
class ZADTokenDispenser : public platform::KeyValueObserver,
                          public std::enable_shared_from_this<ZADTokenDispenser> {
 public:
  static constexpr const char* kSignedInTokensKey = "/zorova/ads/SignedInTokens";

  static std::shared_ptr<ZADTokenDispenser> sharedInstance();
  // A dispenser that reads whether ad tracking is limited from the function (the device's
  // setting by default), restores the cache and starts its timer and user observation.
  static std::shared_ptr<ZADTokenDispenser> make(std::function<bool()> adTrackingLimited = {});
  ~ZADTokenDispenser() override;
  ZADTokenDispenser(const ZADTokenDispenser&) = delete;
  ZADTokenDispenser& operator=(const ZADTokenDispenser&) = delete;

  // The current user's token (unchecked against its expiry); nothing when signed-in ads are off
  // or no token is cached yet, in which case one is requested. Not on the dispenser's queue.
  std::optional<std::string> token();
  // The ad server said the token is no good: its user's entry goes and a new one is requested.
  void refreshToken(const std::string& token);
  // Reads the sign-in library's current user again.
  void refreshSignedInUser();
  void setCurrentUser(const std::optional<ZADSignedInUser>& user);

  // Signed-in ads are on when ad tracking is not limited and the server switched them on.
  bool signedInAdsEnabled() const;

  // For inspection (waits for the queue): the cache and the pace of the refresh timer.
  std::map<ZADSignedInUser, ZADTokenCacheEntry> cachedTokens() const;
  double minLifespan() const;
  // The refresh timer's interval; nothing while no timer runs.
  std::optional<double> refreshInterval() const;

  void observeValueForKeyPath(const std::string& keyPath,
                              const platform::KeyValueObservable& object,
                              const platform::Dictionary& change, const void* context) override;

 private:
  explicit ZADTokenDispenser(std::function<bool()> adTrackingLimited);
  void start();
  // Below: on the queue only.
  void requestTokenForUser(const ZADSignedInUser& user);
  void cacheTokenFromResponseData(const platform::Bytes& data, const ZADSignedInUser& user);
  void setCacheEntry(const ZADTokenCacheEntry& entry, const ZADSignedInUser& user);
  void removeCacheEntryForUser(const ZADSignedInUser& user);
  void persist() const;
  void refreshTokens();
  void rescheduleRefreshes();

  const std::function<bool()> adTrackingLimited_;
  const platform::QueuePtr tokenRequestQueue_;
  // Fields below: on tokenRequestQueue_ only.
  std::map<ZADSignedInUser, ZADTokenCacheEntry> cachedTokens_;
  std::map<std::string, ZADSignedInUser> cachedTokenUsers_;
  std::optional<ZADSignedInUser> currentUser_;
  double minLifespan_ = 3600.0;
  platform::Timer refreshTimer_;
  std::optional<double> refreshInterval_;
  // Main thread only.
  std::shared_ptr<platform::KeyValueObservable> observedLibrary_;
};
