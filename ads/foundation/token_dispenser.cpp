#include "ads/foundation/token_dispenser.h"

#include <algorithm>
#include <limits>

#include "ads/foundation/block_timer.h"
#include "ads/foundation/device.h"
#include "ads/foundation/sdk_core_services.h"
#include "ads/foundation/server_hosts.h"
#include "ads/foundation/url_additions.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/json.h"
#include "platform/net/url_connection.h"
#include "platform/storage/user_defaults.h"

namespace {

constexpr double kDefaultLifespan = 3600.0;
constexpr double kDefaultMinimumLifespanSetting = 60.0;
constexpr double kMaximumLifespan = 30 * 86400.0;
// A token is renewed once its expiry falls within this share of the shortest lifespan.
constexpr double kRefreshHorizon = 0.9;
// The timer fires at this share of the horizon, give or take the rest.
constexpr double kTimerShare = 0.8;
// Identifies the dispenser's own observations of the sign-in library.
constexpr int kObservationContext = 0;
constexpr const char* kObservedKeyPaths[] = {"currentUser", "clientID"};

platform::Date secondsFromNow(double seconds) {
  return platform::Date{platform::now().secondsSince1970 + seconds};
}

// The floor the server set for lifespans; 60 s when it set none, or nothing sensible.
double minimumLifespanSetting() {
  const double setting = platform::UserDefaults::standard()->doubleForKey(
      ZADServerConstantKey("minimum_signed_in_ads_token_lifespan"));
  return setting > 0 ? setting : kDefaultMinimumLifespanSetting;
}

// The form body of a token request: keys in order, each key and value fully escaped.
std::string formBody(const std::map<std::string, std::string>& fields) {
  std::string body;
  for (const auto& [key, value] : fields) {
    if (!body.empty()) body += '&';
    body +=
        zad_stringByEscapingAsURLParameter(key) + "=" + zad_stringByEscapingAsURLParameter(value);
  }
  return body;
}

}  // namespace

platform::Value ZADTokenCacheEntry::encoded() const {
  return platform::Value::dictionary({{"token", token},
                                      {"lastAccess", lastAccess},
                                      {"expiration", expiration},
                                      {"lifespanInSeconds", lifespanInSeconds}});
}

std::optional<ZADTokenCacheEntry> ZADTokenCacheEntry::decoded(const platform::Value& value) {
  const platform::Dictionary* fields = value.dictionaryIf();
  if (!fields) return std::nullopt;
  const platform::Value* token = fields->find("token");
  const platform::Value* lastAccess = fields->find("lastAccess");
  const platform::Value* expiration = fields->find("expiration");
  const platform::Value* lifespan = fields->find("lifespanInSeconds");
  if (!token || !token->isString() || !lastAccess || !lastAccess->dateIf() || !expiration ||
      !expiration->dateIf() || !lifespan || !(lifespan->doubleOr(0) > 0)) {
    return std::nullopt;
  }
  // A stored lifespan paces the refresh timer: none that would stall or spin it.
  return ZADTokenCacheEntry{*token->stringIf(), *lastAccess->dateIf(), *expiration->dateIf(),
                            std::min(lifespan->doubleOr(0), kMaximumLifespan)};
}

std::optional<ZADTokenAnswer> ZADParseTokenAnswer(const platform::Bytes& body) {
  platform::Result<platform::Value> json = platform::parseJSON(
      std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
  const platform::Dictionary* answer = json.ok() ? json->dictionaryIf() : nullptr;
  const platform::Value* accessToken = answer ? answer->find("access_token") : nullptr;
  if (!accessToken || !accessToken->isString()) return std::nullopt;
  const platform::Value* expiresIn = answer->find("expires_in");
  const bool numeric = expiresIn && (expiresIn->isInteger() || expiresIn->isReal());
  return ZADTokenAnswer{*accessToken->stringIf(), numeric ? expiresIn->asDouble() : std::nullopt};
}

std::shared_ptr<ZADTokenDispenser> ZADTokenDispenser::sharedInstance() {
  static const std::shared_ptr<ZADTokenDispenser> dispenser = make();
  return dispenser;
}

std::shared_ptr<ZADTokenDispenser> ZADTokenDispenser::make(
    std::function<bool()> adTrackingLimited) {
  if (!adTrackingLimited) {
    adTrackingLimited = [] { return ZADDevice::sharedInstance().limitAdTracking(); };
  }
  auto dispenser =
      std::shared_ptr<ZADTokenDispenser>(new ZADTokenDispenser(std::move(adTrackingLimited)));
  dispenser->start();
  return dispenser;
}

ZADTokenDispenser::ZADTokenDispenser(std::function<bool()> adTrackingLimited)
    : adTrackingLimited_(std::move(adTrackingLimited)),
      tokenRequestQueue_(platform::makeSerialQueue("com.zorova.ads.token-dispenser")) {
  const platform::Value stored =
      platform::UserDefaults::standard()->objectForKey(kSignedInTokensKey);
  if (const platform::Value::Array* pairs = stored.arrayIf()) {
    for (const platform::Value& pair : *pairs) {
      const platform::Dictionary* fields = pair.dictionaryIf();
      const platform::Value* user = fields ? fields->find("user") : nullptr;
      const platform::Value* entry = fields ? fields->find("entry") : nullptr;
      auto decodedUser = user ? ZADSignedInUser::decoded(*user) : std::nullopt;
      auto decodedEntry = entry ? ZADTokenCacheEntry::decoded(*entry) : std::nullopt;
      if (decodedUser && decodedEntry) cachedTokens_[*decodedUser] = *decodedEntry;
    }
  }
  if (cachedTokens_.empty()) return;
  minLifespan_ = std::numeric_limits<double>::infinity();
  for (const auto& [user, entry] : cachedTokens_) {
    cachedTokenUsers_.insert_or_assign(entry.token, user);
    minLifespan_ = std::min(minLifespan_, entry.lifespanInSeconds);
  }
}

ZADTokenDispenser::~ZADTokenDispenser() {
  refreshTimer_.cancel();
  if (observedLibrary_) {
    for (const char* keyPath : kObservedKeyPaths) {
      observedLibrary_->removeObserver(this, keyPath, &kObservationContext);
    }
  }
}

void ZADTokenDispenser::start() {
  tokenRequestQueue_->async([self = shared_from_this()] {
    self->refreshTokens();
    self->rescheduleRefreshes();
  });
  platform::runOnMainThread([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    self->setCurrentUser(ZADSignedInUser::current());
    self->observedLibrary_ = ZADSignInSharedInstance();
    if (!self->observedLibrary_) return;
    for (const char* keyPath : kObservedKeyPaths) {
      self->observedLibrary_->addObserver(self, keyPath, 0, &kObservationContext);
    }
  });
}

bool ZADTokenDispenser::signedInAdsEnabled() const {
  return !adTrackingLimited_() && platform::UserDefaults::standard()->boolForKey(
                                      ZADServerConstantKey("enable_signed_in_ads"));
}

std::optional<std::string> ZADTokenDispenser::token() {
  if (!signedInAdsEnabled()) return std::nullopt;
  std::optional<std::string> token;
  tokenRequestQueue_->sync([&] {
    if (!currentUser_) return;
    auto entry = cachedTokens_.find(*currentUser_);
    if (entry != cachedTokens_.end()) {
      entry->second.lastAccess = platform::now();
      token = entry->second.token;
    } else {
      requestTokenForUser(*currentUser_);
    }
  });
  return token;
}

void ZADTokenDispenser::refreshToken(const std::string& token) {
  tokenRequestQueue_->async([self = shared_from_this(), token] {
    auto user = self->cachedTokenUsers_.find(token);
    if (user == self->cachedTokenUsers_.end()) return;
    const ZADSignedInUser owner = user->second;
    self->removeCacheEntryForUser(owner);
    self->requestTokenForUser(owner);
  });
}

void ZADTokenDispenser::refreshSignedInUser() {
  platform::runOnMainThread([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->setCurrentUser(ZADSignedInUser::current());
  });
}

void ZADTokenDispenser::setCurrentUser(const std::optional<ZADSignedInUser>& user) {
  tokenRequestQueue_->async([self = shared_from_this(), user] {
    self->currentUser_ = user;
    if (user && !self->cachedTokens_.contains(*user)) self->requestTokenForUser(*user);
  });
}

void ZADTokenDispenser::observeValueForKeyPath(const std::string&,
                                               const platform::KeyValueObservable&,
                                               const platform::Dictionary&, const void* context) {
  if (context == &kObservationContext) refreshSignedInUser();
}

void ZADTokenDispenser::requestTokenForUser(const ZADSignedInUser& user) {
  if (user.applicationID.empty() || user.refreshToken.empty() || !signedInAdsEnabled()) return;
  const std::string base = ZADOAuthAPIBaseURL();
  platform::Result<platform::URL> endpoint = platform::URL::parse(base + "/oauth2/token");
  if (!endpoint.ok()) return;
  const std::string body = formBody({{"client_id", user.applicationID},
                                     {"grant_type", "refresh_token"},
                                     {"refresh_token", user.refreshToken},
                                     {"scope", base + "/auth/zads"}});
  platform::net::URLRequest request(*endpoint);
  request.httpMethod = "POST";
  request.setValue("application/x-www-form-urlencoded", "Content-Type");
  request.httpBody = platform::Bytes(body.begin(), body.end());
  // A request for a user whose earlier one is still out goes all the same: the later answer
  // wins.
  platform::net::sendAsynchronousRequest(
      std::move(request), tokenRequestQueue_,
      [weak = weak_from_this(), user](const std::optional<platform::net::URLResponse>&,
                                      const platform::Bytes& data,
                                      const std::optional<platform::Error>& error) {
        auto self = weak.lock();
        if (self && !error) self->cacheTokenFromResponseData(data, user);
      });
}

void ZADTokenDispenser::cacheTokenFromResponseData(const platform::Bytes& data,
                                                   const ZADSignedInUser& user) {
  removeCacheEntryForUser(user);
  const std::optional<ZADTokenAnswer> answer = ZADParseTokenAnswer(data);
  if (!answer) return;
  const std::optional<double>& seconds = answer->expiresIn;
  const bool othersCached = !cachedTokens_.empty();
  // A server's lifespan is held to a month: it paces a timer, which must stay a real duration.
  const double lifespan = std::min(seconds        ? std::max(*seconds, minimumLifespanSetting())
                                   : othersCached ? minLifespan_
                                                  : kDefaultLifespan,
                                   kMaximumLifespan);
  const ZADTokenCacheEntry entry{answer->accessToken, platform::now(), secondsFromNow(lifespan),
                                 lifespan};
  if (lifespan < minLifespan_ || !othersCached) {
    refreshTokens();
    minLifespan_ = lifespan;
    rescheduleRefreshes();
  }
  setCacheEntry(entry, user);
}

void ZADTokenDispenser::setCacheEntry(const ZADTokenCacheEntry& entry,
                                      const ZADSignedInUser& user) {
  if (!entry.token.empty()) {
    removeCacheEntryForUser(user);
    cachedTokens_[user] = entry;
    cachedTokenUsers_.insert_or_assign(entry.token, user);
  }
  persist();
}

void ZADTokenDispenser::removeCacheEntryForUser(const ZADSignedInUser& user) {
  auto entry = cachedTokens_.find(user);
  if (entry == cachedTokens_.end()) return;
  // The old token's line goes with it: a later "clear" of that token must not drop the user's
  // new entry.
  cachedTokenUsers_.erase(entry->second.token);
  cachedTokens_.erase(entry);
}

void ZADTokenDispenser::persist() const {
  platform::Value::Array pairs;
  for (const auto& [user, entry] : cachedTokens_) {
    pairs.push_back(
        platform::Value::dictionary({{"user", user.encoded()}, {"entry", entry.encoded()}}));
  }
  (void)platform::UserDefaults::standard()->setObject(std::move(pairs), kSignedInTokensKey);
}

void ZADTokenDispenser::refreshTokens() {
  if (cachedTokens_.empty()) return;
  double shortest = std::numeric_limits<double>::infinity();
  for (const auto& [user, entry] : cachedTokens_)
    shortest = std::min(shortest, entry.lifespanInSeconds);
  const platform::Date horizon = secondsFromNow(kRefreshHorizon * minLifespan_);
  if (shortest > minLifespan_) {
    minLifespan_ = shortest;
    rescheduleRefreshes();
  }
  std::vector<ZADSignedInUser> due;
  for (const auto& [user, entry] : cachedTokens_) {
    if (entry.expiration < horizon) due.push_back(user);
  }
  for (const ZADSignedInUser& user : due) requestTokenForUser(user);
}

void ZADTokenDispenser::rescheduleRefreshes() {
  tokenRequestQueue_->async([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    self->refreshTimer_.cancel();
    self->refreshInterval_.reset();
    if (self->cachedTokens_.empty()) return;
    const double horizon = kRefreshHorizon * self->minLifespan_;
    const double interval = kTimerShare * horizon;
    self->refreshInterval_ = interval;
    // The pass runs on the queue, where the cache lives.
    self->refreshTimer_ =
        zad_scheduledTimerWithTimeInterval(interval, true, horizon - interval, [weak] {
          if (auto dispenser = weak.lock()) {
            dispenser->tokenRequestQueue_->async([dispenser] { dispenser->refreshTokens(); });
          }
        });
  });
}

std::map<ZADSignedInUser, ZADTokenCacheEntry> ZADTokenDispenser::cachedTokens() const {
  std::map<ZADSignedInUser, ZADTokenCacheEntry> tokens;
  tokenRequestQueue_->sync([&] { tokens = cachedTokens_; });
  return tokens;
}

double ZADTokenDispenser::minLifespan() const {
  double lifespan = 0;
  tokenRequestQueue_->sync([&] { lifespan = minLifespan_; });
  return lifespan;
}

std::optional<double> ZADTokenDispenser::refreshInterval() const {
  std::optional<double> interval;
  tokenRequestQueue_->sync([&] { interval = refreshInterval_; });
  return interval;
}
