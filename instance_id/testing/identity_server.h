#pragma once
// A local identity service for tests: HTTPS on 127.0.0.1 with "/checkin" (JSON) and
// "/iid/register" (forms), speaking the client's wire formats. It issues check-in credentials,
// checks every registration request (authorisation, fields, app identity and the raw RSA
// signature) byte for byte, issues and deletes tokens, subscribes tokens to topics and
// unsubscribes them (the messaging client's topic form), and records what it received. While it
// lives, URL loading trusts its certificate and the identity client is pointed at it.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "platform/testing/http_server.h"

namespace instance_id_testing {

struct ReceivedRequest {
  std::string path;
  std::map<std::string, std::string> headers;  // lower-case names
  std::string body;
  std::map<std::string, std::string> form;  // the decoded form fields of a registration request
  std::string header(const std::string& name) const;
  std::string field(const std::string& name) const;  // "" when the form has none
};

// What "/checkin" answers: a status and body; by default 200 with the server's credentials.
struct CheckinAnswer {
  int status = 200;
  std::string body;
};

class IdentityServer {
 public:
  // Credentials issued by default: a device id above the signed 64-bit range, so a client that
  // reads it through a floating-point value is caught.
  static constexpr const char* kDeviceID = "18446744073709551557";
  static constexpr const char* kSecretToken = "9223372036854775806";
  static constexpr const char* kVersionInfo = "version-info-1";
  static constexpr const char* kDigest = "digest-1";

  IdentityServer();
  ~IdentityServer();

  std::string baseURL() const { return server_.baseURL(); }

  // The check-in reply's "time_msec" (default: 0, which the client stores as "not valid"; tests
  // set the manual clock's time).
  void setCheckinTimeMillis(int64_t millis);
  // Replaces the check-in answer; nothing restores the default.
  void setCheckinAnswer(std::optional<CheckinAnswer> answer);
  // Replaces the reply body of registration requests (token and delete) for the given request;
  // nothing restores the default ("token=<issued>" or "deleted=<appid>").
  void setRegisterReply(std::function<std::string(const ReceivedRequest&)> reply);
  // While held, registration requests wait without answering.
  void holdRegistrations(bool hold);

  std::vector<ReceivedRequest> requests(const std::string& path) const;
  int count(const std::string& path) const { return static_cast<int>(requests(path).size()); }
  // Why requests were refused (empty when every request was well-formed and correctly signed).
  std::vector<std::string> problems() const;
  // Tokens the server holds, by "<sender>|<scope>".
  std::map<std::string, std::string> registrations() const;
  // Topic subscriptions the server holds, as "<token>|<topic>".
  std::set<std::string> topicSubscriptions() const;
  // The token issued for the next registration of the sender and scope.
  static std::string tokenFor(const std::string& sender, int serial);

 private:
  void handleCheckin(const httplib::Request& request, httplib::Response& response);
  void handleRegister(const httplib::Request& request, httplib::Response& response);
  // Why the registration request is refused, or nothing.
  static std::optional<std::string> checkDevice(const ReceivedRequest& received);
  std::optional<std::string> checkRegistration(const ReceivedRequest& received) const;
  std::optional<std::string> checkTopicRequest(const ReceivedRequest& received) const;

  mutable platform::Mutex mutex_;
  std::condition_variable released_;
  bool hold_ VKR_GUARDED_BY(mutex_) = false;
  bool stopping_ VKR_GUARDED_BY(mutex_) = false;
  int64_t checkinTimeMillis_ VKR_GUARDED_BY(mutex_) = 0;
  std::optional<CheckinAnswer> checkinAnswer_ VKR_GUARDED_BY(mutex_);
  std::function<std::string(const ReceivedRequest&)> registerReply_ VKR_GUARDED_BY(mutex_);
  std::vector<ReceivedRequest> requests_ VKR_GUARDED_BY(mutex_);
  std::vector<std::string> problems_ VKR_GUARDED_BY(mutex_);
  std::map<std::string, std::string> registrations_ VKR_GUARDED_BY(mutex_);
  std::set<std::string> topicSubscriptions_ VKR_GUARDED_BY(mutex_);
  int serial_ VKR_GUARDED_BY(mutex_) = 0;
  // Last, so that it stops (and its handlers end) before the state they use goes.
  platform::testing::HttpsServer server_;
};

}  // namespace instance_id_testing
