#include "ads/testing/oauth_server.h"

#include "platform/foundation/json.h"
#include "platform/foundation/value.h"

namespace ads::testing {

OAuthServer::OAuthServer() {
  server_.routes().Post(
      "/oauth2/token", [this](const httplib::Request& request, httplib::Response& response) {
        platform::MutexLock lock(mutex_);
        ++requests_;
        lastBody_ = request.body;
        lastContentType_ = request.get_header_value("Content-Type");
        if (answerBody_) return response.set_content(*answerBody_, "application/json");
        platform::Dictionary answer{{"access_token", "token-" + std::to_string(requests_)},
                                    {"token_type", "Bearer"}};
        if (expiresIn_) answer.set("expires_in", *expiresIn_);
        response.set_content(*platform::toJSON(platform::Value(answer)), "application/json");
      });
  server_.start();
}

void OAuthServer::setExpiresIn(std::optional<double> seconds) {
  platform::MutexLock lock(mutex_);
  expiresIn_ = seconds;
}

void OAuthServer::setAnswerBody(std::optional<std::string> body) {
  platform::MutexLock lock(mutex_);
  answerBody_ = std::move(body);
}

int OAuthServer::requests() const {
  platform::MutexLock lock(mutex_);
  return requests_;
}

std::string OAuthServer::lastBody() const {
  platform::MutexLock lock(mutex_);
  return lastBody_;
}

std::string OAuthServer::lastContentType() const {
  platform::MutexLock lock(mutex_);
  return lastContentType_;
}

}  // namespace ads::testing
