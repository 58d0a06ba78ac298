#include "VokaruLib/testing/fake_engine.h"

namespace vokaru::testing {

void FakeEngine::loadRequest(const platform::web::URLRequest& request) {
  webView_->loadRequest(request);
}

void FakeEngine::loadHTMLString(const std::string& html, const std::string& baseURL) {
  webView_->loadHTMLString(html, baseURL);
}

void FakeEngine::evaluateJavaScript(const std::string& script, EvaluationCompletion completion) {
  scripts_.push_back(script);
  platform::Value answer = responder_ ? responder_(script) : platform::Value("");
  if (completion) completion(answer, std::nullopt);
}

}  // namespace vokaru::testing
