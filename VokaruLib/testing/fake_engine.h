#pragma once

#include <functional>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"

namespace vokaru::testing {

// An engine without a web view: records every evaluated script and answers at once, with what the
// responder gives (an empty text by default), as the engine's synchronous evaluation does.
class FakeEngine : public VKRWebViewEngineProtocol {
 public:
  using Responder = std::function<platform::Value(const std::string& script)>;

  void evaluateJavaScript(const std::string& script, EvaluationCompletion completion) override;

  const std::vector<std::string>& scripts() const { return scripts_; }
  void clearScripts() { scripts_.clear(); }
  void setResponder(Responder responder) { responder_ = std::move(responder); }

 private:
  std::vector<std::string> scripts_;
  Responder responder_;
};

}  // namespace vokaru::testing
