#include "instance_id/registration_client.h"

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"
#include "instance_id/instance_id.h"
#include "instance_id/registration_wire.h"
#include "instance_id/token_store.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/foundation/thread_annotations.h"

namespace {

std::atomic<uint64_t> lastRequestID{0};

platform::net::URLRequest registerRequest(const std::string& deviceID,
                                          const std::string& secretToken) {
  platform::net::URLRequest request = VIZInstanceIDRequestWithURL(VIZInstanceIDRegisterServer());
  request.setValue("ZidLogin " + deviceID + ":" + secretToken, "Authorization");
  request.setValue(VIZInstanceIDAppBundleIdentifier(), "app");
  return request;
}

VIZInstanceIDFormBody deleteRequestContent(const std::string& deviceID, const std::string& scope) {
  VIZInstanceIDFormBody body;
  body.add("device", deviceID);
  body.add("app", VIZInstanceIDAppBundleIdentifier());
  body.add("app_ver", VIZInstanceIDCurrentAppVersion());
  body.add("X-scope", scope);
  body.add("X-kid", std::to_string(VIZInstanceIDRegistrationClient::nextRequestID()));
  body.add("delete", "true");
  return body;
}

// The private-key operation gives the same signature for the same key and text, and every
// registration signs the same text: the last signature made is kept rather than made again.
std::optional<std::string> signedParams(const VIZInstanceIDKeyPair& keyPair,
                                        const std::string& params) {
  struct Signed {
    platform::Mutex mutex;
    platform::Bytes publicKeyData VKR_GUARDED_BY(mutex);
    std::string params VKR_GUARDED_BY(mutex);
    std::string signature VKR_GUARDED_BY(mutex);
  };
  static Signed* last = new Signed();
  {
    platform::MutexLock lock(last->mutex);
    if (!last->signature.empty() && last->publicKeyData == keyPair.publicKeyData() &&
        last->params == params) {
      return last->signature;
    }
  }
  std::optional<std::string> signature = VIZInstanceIDSignParams(*keyPair.privateKey(), params);
  if (!signature) return std::nullopt;
  platform::MutexLock lock(last->mutex);
  last->publicKeyData = keyPair.publicKeyData();
  last->params = params;
  last->signature = *signature;
  return signature;
}

std::string textOf(const std::optional<platform::Bytes>& data) {
  return data ? platform::stringOf(*data) : std::string();
}

// Sends the request; the completion gets the reply text or the fetch's error.
ZSDK_ZTMSessionFetcher::Ptr send(
    platform::net::URLRequest request, const std::string& body,
    std::function<void(const std::string&, const std::optional<platform::Error>&)> completion) {
  ZSDK_ZTMSessionFetcher::Ptr fetcher =
      ZSDK_ZTMSessionFetcher::fetcherWithRequest(std::move(request));
  fetcher->setBodyData(platform::bytesOf(body));
  fetcher->beginFetchWithCompletionHandler(
      [completion = std::move(completion)](const std::optional<platform::Bytes>& data,
                                           const std::optional<platform::Error>& error) {
        completion(textOf(data), error);
      });
  return fetcher;
}

void answerDeletion(const std::string& reply, const std::optional<platform::Error>& error,
                    const VIZInstanceIDRegistrationClient::ErrorHandler& handler) {
  if (!handler) return;
  if (error) return handler(error);
  if (reply.rfind("deleted=", 0) == 0) return handler(std::nullopt);
  handler(VIZInstanceIDError(kVIZInstanceIDErrorInvalidResponse));
}

// Errors found before sending are answered in a later turn of the main queue, as fetch results
// are.
template <typename Handler, typename... Args>
void answerLater(Handler handler, Args... args) {
  if (!handler) return;
  platform::mainQueue()->async([handler = std::move(handler), args...] { handler(args...); });
}

}  // namespace

VIZInstanceIDRegistrationClient::VIZInstanceIDRegistrationClient(
    std::shared_ptr<VIZInstanceIDCheckinService> checkin, std::string authorizedEntity,
    std::string scope, VIZInstanceIDKeyPair keyPair)
    : checkin_(std::move(checkin)),
      authorizedEntity_(std::move(authorizedEntity)),
      scope_(std::move(scope)),
      keyPair_(std::move(keyPair)) {}

VIZInstanceIDRegistrationClient::~VIZInstanceIDRegistrationClient() { stopFetching(); }

std::string VIZInstanceIDRegistrationClient::registrationClientKeyWithAuthorizedEntity(
    const std::string& entity, const std::string& scope) {
  return VIZInstanceIDTokenStore::cacheKeyForAuthorizedEntity(entity, scope);
}

uint64_t VIZInstanceIDRegistrationClient::nextRequestID() { return ++lastRequestID; }

bool VIZInstanceIDRegistrationClient::addSignedFields(VIZInstanceIDFormBody& body) const {
  std::optional<std::string> appIdentity = VIZInstanceIDKeyPair::appIdentityWithKeyPair(keyPair_);
  std::optional<std::string> publicKey = VIZInstanceIDPublicKeyString(keyPair_);
  if (!appIdentity || !publicKey || !keyPair_.privateKey()) return false;
  std::optional<std::string> signature = signedParams(
      keyPair_, VIZInstanceIDJoinParams({VIZInstanceIDAppBundleIdentifier(), *publicKey}));
  if (!signature) return false;
  body.add("appid", *appIdentity);
  body.add("pub2", *publicKey);
  body.add("sig", *signature);
  return true;
}

void VIZInstanceIDRegistrationClient::fetchTokenWithHandler(TokenHandler handler) {
  const std::string deviceID = checkin_->deviceAuthID();
  const std::string secretToken = checkin_->secretToken();
  if (deviceID.empty() || secretToken.empty()) {
    return answerLater(std::move(handler), std::optional<std::string>(),
                       std::optional(VIZInstanceIDError(kVIZInstanceIDErrorInvalidCheckin)));
  }
  platform::net::URLRequest request = registerRequest(deviceID, secretToken);
  request.setValue(checkin_->versionInfo(), "info");
  const uint64_t requestID = nextRequestID();

  VIZInstanceIDFormBody body;
  body.add("sender", authorizedEntity_);
  body.add("app", VIZInstanceIDAppBundleIdentifier());
  body.add("device", deviceID);
  body.add("app_ver", VIZInstanceIDCurrentAppVersion());
  body.add("X-subtype", authorizedEntity_);
  body.add("X-scope", scope_);
  body.add("plat", "2");
  body.add("X-kid", std::to_string(requestID));
  if (!addSignedFields(body)) {
    // An unsigned token request would only be refused; it is not sent.
    return answerLater(std::move(handler), std::optional<std::string>(),
                       std::optional(VIZInstanceIDError(kVIZInstanceIDErrorInvalidResponse)));
  }
  const std::string content = body.text() + requestContentSuffixFromOptions(options_);

  fetcher_ = send(
      std::move(request), content,
      [handler = std::move(handler), requestID](const std::string& reply,
                                                const std::optional<platform::Error>& error) {
        if (!handler) return;
        if (error) return handler(std::nullopt, error);
        const auto entries = VIZInstanceIDParseRegistrationReply(reply);
        auto token = entries.find("token");
        if (reply.empty() || token == entries.end() || token->second.empty()) {
          return handler(std::nullopt, VIZInstanceIDError(kVIZInstanceIDErrorInvalidResponse));
        }
        VIZInstanceIDTokenReply parsed = VIZInstanceIDParseTokenValue(token->second, requestID);
        if (parsed.command == VIZInstanceIDTokenReply::Command::Sync) {
          VIZInstanceID::notifyTokenRefresh();
        } else if (parsed.command == VIZInstanceIDTokenReply::Command::Reset) {
          VIZInstanceID::notifyIdentityLost();
        }
        if (!parsed.token) {
          return handler(std::nullopt, VIZInstanceIDError(kVIZInstanceIDErrorInvalidResponse));
        }
        handler(parsed.token, std::nullopt);
      });
}

void VIZInstanceIDRegistrationClient::deleteTokenWithHandler(ErrorHandler handler) {
  const std::string deviceID = checkin_->deviceAuthID();
  const std::string secretToken = checkin_->secretToken();
  if (deviceID.empty() || secretToken.empty()) {
    return answerLater(std::move(handler),
                       std::optional(VIZInstanceIDError(kVIZInstanceIDErrorInvalidCheckin)));
  }
  VIZInstanceIDFormBody body = deleteRequestContent(deviceID, scope_);
  if (!addSignedFields(body)) {
    return answerLater(std::move(handler),
                       std::optional(VIZInstanceIDError(kVIZInstanceIDErrorInvalidResponse)));
  }
  fetcher_ = send(registerRequest(deviceID, secretToken), body.text(),
                  [handler = std::move(handler)](const std::string& reply,
                                                 const std::optional<platform::Error>& error) {
                    answerDeletion(reply, error, handler);
                  });
}

void VIZInstanceIDRegistrationClient::deleteZCMTokenOnAppReset(const std::string& deviceID,
                                                               const std::string& secretToken,
                                                               ErrorHandler handler) {
  if (deviceID.empty() || secretToken.empty()) {
    return answerLater(std::move(handler),
                       std::optional(VIZInstanceIDError(kVIZInstanceIDErrorInvalidCheckin)));
  }
  // The running fetch keeps itself alive; nothing holds it.
  send(registerRequest(deviceID, secretToken),
       deleteRequestContent(deviceID, kVIZInstanceIDScopeZCM).text(),
       [handler = std::move(handler)](const std::string& reply,
                                      const std::optional<platform::Error>& error) {
         answerDeletion(reply, error, handler);
       });
}

bool VIZInstanceIDRegistrationClient::inProgress() const {
  return fetcher_ && fetcher_->isFetching();
}

void VIZInstanceIDRegistrationClient::stopFetching() {
  if (fetcher_) fetcher_->stopFetching();
  fetcher_.reset();
}

std::string VIZInstanceIDRegistrationClient::requestContentSuffixFromOptions(
    const platform::Dictionary& options) {
  const auto sentKeys = VIZInstanceIDRequestOptionKeys();
  VIZInstanceIDFormBody suffix;
  for (const auto& [key, value] : options) {
    if (!sentKeys.contains(key)) continue;
    if (const std::string* text = value.stringIf()) {
      suffix.add(key, *text);
    } else if (value.isBool()) {
      suffix.add(key, value.boolOr(false) ? "1" : "0");
    } else if (value.isInteger()) {
      suffix.add(key, std::to_string(value.intOr(0)));
    } else if (value.isReal()) {
      suffix.add(key, platform::format("%g", value.doubleOr(0)));
    }
  }
  return suffix.text().empty() ? "" : "&" + suffix.text();
}
