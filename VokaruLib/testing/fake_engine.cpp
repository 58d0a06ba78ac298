#include "VokaruLib/testing/fake_engine.h"

#include "platform/dispatch/queue.h"
#include "platform/foundation/while_alive.h"

namespace vokaru::testing {

void FakeEngine::loadRequest(const platform::web::URLRequest& request) {
  webView_->loadRequest(request);
}

void FakeEngine::loadHTMLString(const std::string& html, const std::string& baseURL) {
  webView_->loadHTMLString(html, baseURL);
}

void FakeEngine::evaluateJavaScript(const std::string& script, EvaluationCompletion completion) {
  scripts_.push_back(script);
  platform::mainQueue()->async(platform::whileAlive(
      weak_from_this(), [script, completion = std::move(completion)](FakeEngine& self) {
        platform::Value answer = self.responder_ ? self.responder_(script) : platform::Value("");
        if (completion) completion(answer, std::nullopt);
      }));
}

}  // namespace vokaru::testing
