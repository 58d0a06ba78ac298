#include "instance_id/testing/identity_server.h"

#include <algorithm>

#include "instance_id/iid_utilities.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/json.h"
#include "platform/foundation/log.h"
#include "platform/foundation/percent_encoding.h"
#include "platform/foundation/rsa_key.h"
#include "platform/net/server_trust.h"
#include "platform/storage/bundle.h"
#include "toolbox/encoding/string_encoding.h"

namespace instance_id_testing {

namespace {

std::map<std::string, std::string> parseForm(const std::string& body) {
  std::map<std::string, std::string> fields;
  for (const std::string& pair : VIZInstanceIDSplit(body, "&")) {
    const size_t equals = pair.find('=');
    if (equals == std::string::npos) continue;
    fields[pair.substr(0, equals)] =
        platform::percentDecodeBytes(pair.substr(equals + 1)).value_or("<undecodable>");
  }
  return fields;
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::optional<platform::Bytes> webSafeDecoded(const std::string& text) {
  return ZSDK_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding().decode(text);
}

// The identity the client must derive from the public key bytes, computed here on its own.
std::string appIdentityOf(const platform::Bytes& publicKeyData) {
  platform::Bytes digest = platform::sha1(publicKeyData);
  digest.resize(8);
  digest[0] = static_cast<uint8_t>(0x90 | (digest[0] & 0x0F));
  ZSDK_ZTMStringEncoding encoding = ZSDK_ZTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
  encoding.setDoPad(false);
  return encoding.encode(digest);
}

// Whether the signature is the raw private-key operation on each zero-padded block of the text.
bool signatureMatches(const platform::Bytes& publicKeyData, const platform::Bytes& signature,
                      const std::string& text) {
  platform::Result<platform::RSAKey> key = platform::RSAKey::fromPublicKeyDER(publicKeyData);
  if (!key.ok()) return false;
  const size_t block = key->blockSize();
  if (text.empty() || signature.size() != (text.size() + block - 1) / block * block) return false;
  for (size_t index = 0; index * block < text.size(); ++index) {
    const size_t length = std::min(block, text.size() - index * block);
    platform::Bytes expected(block - length, 0);
    expected.insert(expected.end(), text.begin() + static_cast<ptrdiff_t>(index * block),
                    text.begin() + static_cast<ptrdiff_t>(index * block + length));
    platform::Result<platform::Bytes> recovered = key->rawPublicOperation(
        platform::Bytes(signature.begin() + static_cast<ptrdiff_t>(index * block),
                        signature.begin() + static_cast<ptrdiff_t>((index + 1) * block)));
    if (!recovered.ok() || *recovered != expected) return false;
  }
  return true;
}

}  // namespace

std::string ReceivedRequest::header(const std::string& name) const {
  auto found = headers.find(lowered(name));
  return found == headers.end() ? "" : found->second;
}

std::string ReceivedRequest::field(const std::string& name) const {
  auto found = form.find(name);
  return found == form.end() ? "" : found->second;
}

IdentityServer::IdentityServer() {
  (void)platform::net::addTrustedAnchorCertificate(
      platform::testing::HttpsServer::certificatePEM());
  server_.routes().Post("/checkin",
                        [this](const httplib::Request& request, httplib::Response& response) {
                          handleCheckin(request, response);
                        });
  server_.routes().Post("/iid/register",
                        [this](const httplib::Request& request, httplib::Response& response) {
                          handleRegister(request, response);
                        });
  server_.start();
  VIZInstanceIDSetServiceBaseURL(server_.baseURL());
}

IdentityServer::~IdentityServer() {
  VIZInstanceIDSetServiceBaseURL(std::nullopt);
  {
    platform::MutexLock lock(mutex_);
    stopping_ = true;
  }
  released_.notify_all();
}

void IdentityServer::setCheckinTimeMillis(int64_t millis) {
  platform::MutexLock lock(mutex_);
  checkinTimeMillis_ = millis;
}

void IdentityServer::setCheckinAnswer(std::optional<CheckinAnswer> answer) {
  platform::MutexLock lock(mutex_);
  checkinAnswer_ = std::move(answer);
}

void IdentityServer::setRegisterReply(std::function<std::string(const ReceivedRequest&)> reply) {
  platform::MutexLock lock(mutex_);
  registerReply_ = std::move(reply);
}

void IdentityServer::holdRegistrations(bool hold) {
  {
    platform::MutexLock lock(mutex_);
    hold_ = hold;
  }
  released_.notify_all();
}

std::vector<ReceivedRequest> IdentityServer::requests(const std::string& path) const {
  platform::MutexLock lock(mutex_);
  std::vector<ReceivedRequest> found;
  for (const ReceivedRequest& request : requests_) {
    if (request.path == path) found.push_back(request);
  }
  return found;
}

std::vector<std::string> IdentityServer::problems() const {
  platform::MutexLock lock(mutex_);
  return problems_;
}

std::map<std::string, std::string> IdentityServer::registrations() const {
  platform::MutexLock lock(mutex_);
  return registrations_;
}

std::set<std::string> IdentityServer::topicSubscriptions() const {
  platform::MutexLock lock(mutex_);
  return topicSubscriptions_;
}

std::string IdentityServer::tokenFor(const std::string& sender, int serial) {
  return "tok-" + sender + "-" + std::to_string(serial);
}

void IdentityServer::handleCheckin(const httplib::Request& request, httplib::Response& response) {
  ReceivedRequest received{request.path, {}, request.body, {}};
  for (const auto& [name, value] : request.headers) received.headers[lowered(name)] = value;
  platform::MutexLock lock(mutex_);
  requests_.push_back(received);
  if (received.header("content-type") != "application/json") {
    problems_.push_back("check-in without the JSON content type");
  }
  if (!platform::parseJSON(request.body).ok()) problems_.push_back("check-in body is not JSON");
  if (checkinAnswer_) {
    response.status = checkinAnswer_->status;
    response.set_content(checkinAnswer_->body, "application/json");
    return;
  }
  response.set_content(
      platform::format(R"({"android_id":%s,"security_token":%s,"time_msec":%lld,)"
                       R"("digest":"%s","version_info":"%s",)"
                       R"("setting":[{"name":"gms_max_ttl","value":"86400"}]})",
                       kDeviceID, kSecretToken, static_cast<long long>(checkinTimeMillis_), kDigest,
                       kVersionInfo),
      "application/json");
}

// Why the request does not come from this app on the device the server checked in, or nothing.
std::optional<std::string> IdentityServer::checkDevice(const ReceivedRequest& received) {
  const std::string expectedLogin = std::string("ZidLogin ") + kDeviceID + ":" + kSecretToken;
  if (received.header("authorization") != expectedLogin) return "authorization";
  const std::string bundleID = platform::Bundle::mainBundle()->bundleIdentifier();
  if (received.header("app") != bundleID) return "app header";
  if (received.field("app") != bundleID || received.field("device") != kDeviceID) {
    return "app or device field";
  }
  return std::nullopt;
}

std::optional<std::string> IdentityServer::checkRegistration(
    const ReceivedRequest& received) const {
  if (std::optional<std::string> problem = checkDevice(received)) return problem;
  const std::string bundleID = platform::Bundle::mainBundle()->bundleIdentifier();
  const auto& form = received.form;
  const auto field = [&](const char* name) { return received.field(name); };
  if (field("X-kid").empty()) return "request id";
  const bool deletion = field("delete") == "true";
  if (!deletion && received.header("info") != kVersionInfo) return "info header";
  if (!deletion && (field("sender").empty() || field("X-subtype") != field("sender"))) {
    return "sender";
  }
  // The reinstall clean-up is the one request sent without signature.
  if (deletion && field("X-scope") == kVIZInstanceIDScopeZCM && !form.contains("sig")) {
    return std::nullopt;
  }
  std::optional<platform::Bytes> publicKey = webSafeDecoded(field("pub2"));
  std::optional<platform::Bytes> signature = webSafeDecoded(field("sig"));
  if (!publicKey || !signature) return "pub2 or sig encoding";
  if (field("appid") != appIdentityOf(*publicKey)) return "appid";
  if (!signatureMatches(*publicKey, *signature, bundleID + "\n" + field("pub2"))) {
    return "signature";
  }
  return std::nullopt;
}

std::optional<std::string> IdentityServer::checkTopicRequest(
    const ReceivedRequest& received) const {
  if (std::optional<std::string> problem = checkDevice(received)) return problem;
  if (received.header("info") != kVersionInfo) return "info header";
  if (received.field("sender").empty()) return "sender";
  if (received.field("X-scope") != received.field("X-zcm.topic")) return "topic scope";
  return std::nullopt;
}

void IdentityServer::handleRegister(const httplib::Request& request, httplib::Response& response) {
  ReceivedRequest received{request.path, {}, request.body, parseForm(request.body)};
  for (const auto& [name, value] : request.headers) received.headers[lowered(name)] = value;
  platform::MutexLock lock(mutex_);
  requests_.push_back(received);
  while (hold_ && !stopping_) lock.wait(released_);
  const bool topicRequest = received.form.contains("X-zcm.topic");
  if (std::optional<std::string> problem =
          topicRequest ? checkTopicRequest(received) : checkRegistration(received)) {
    problems_.push_back(*problem);
    response.set_content("Error=BAD_REQUEST", "text/plain");
    return;
  }
  const std::string scope = received.form["X-scope"];
  const std::string sender = received.form["sender"];
  std::string reply;
  if (topicRequest) {
    const std::string subscription = sender + "|" + received.form["X-zcm.topic"];
    if (received.form["delete"] == "true") {
      topicSubscriptions_.erase(subscription);
    } else {
      topicSubscriptions_.insert(subscription);
    }
    reply = "token=" + sender;
  } else if (received.form["delete"] == "true") {
    std::erase_if(registrations_, [&](const auto& entry) {
      return scope == "*" || entry.first.ends_with("|" + scope);
    });
    reply = "deleted=" + received.form["appid"];
  } else {
    const std::string token = tokenFor(sender, ++serial_);
    registrations_[sender + "|" + scope] = token;
    reply = "token=" + token;
  }
  if (registerReply_) reply = registerReply_(received);
  response.set_content(reply, "text/plain");
}

}  // namespace instance_id_testing
