#pragma once

#include <optional>
#include <string>

#include "platform/foundation/thread_annotations.h"
#include "platform/testing/http_server.h"

namespace ads::testing {

// A loopback OAuth provider: "POST /oauth2/token" with a refresh-token form answers
// {"access_token": "token-<n>", "expires_in": <seconds>} with n counting the requests from 1, or
// the body set for it (an error answer, say).
class OAuthServer {
 public:
  OAuthServer();

  // "http://127.0.0.1:<port>": the API host the dispenser is pointed at.
  std::string baseURL() const { return server_.baseURL(); }
  // The lifespan the answers give; nothing leaves "expires_in" out.
  void setExpiresIn(std::optional<double> seconds);
  // A body to answer instead of a token; nothing goes back to tokens.
  void setAnswerBody(std::optional<std::string> body);
  int requests() const;
  // The last request's body and content type.
  std::string lastBody() const;
  std::string lastContentType() const;

 private:
  platform::testing::HttpServer server_;
  mutable platform::Mutex mutex_;
  int requests_ VKR_GUARDED_BY(mutex_) = 0;
  std::optional<double> expiresIn_ VKR_GUARDED_BY(mutex_) = 3600;
  std::optional<std::string> answerBody_ VKR_GUARDED_BY(mutex_);
  std::string lastBody_ VKR_GUARDED_BY(mutex_);
  std::string lastContentType_ VKR_GUARDED_BY(mutex_);
};

}  // namespace ads::testing
