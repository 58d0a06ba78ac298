#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

// What the runtime asks of the engine that hosts the page's web view. Main thread only.
class VKRWebViewEngineProtocol {
 public:
  using EvaluationCompletion = std::function<void(const platform::Value& result,
                                                  const std::optional<platform::Error>& error)>;

  virtual ~VKRWebViewEngineProtocol() = default;

  // Runs the script in the page; the completion (when given) gets its result or an error.
  virtual void evaluateJavaScript(const std::string& script, EvaluationCompletion completion) = 0;
};
