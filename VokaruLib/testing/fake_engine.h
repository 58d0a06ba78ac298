#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Public/vkr_web_view_engine_protocol.h"
#include "platform/web/testing/fake_web_view.h"

namespace vokaru::testing {

// An engine around a fake web view: records every evaluated script at once and, as the real engine
// does, answers later from the main queue, with what the responder then gives (an empty text by
// default). An answer still due when the engine goes away is dropped. Loads go to the fake web
// view, which records them. Always owned by a shared_ptr.
class FakeEngine : public VKRWebViewEngineProtocol,
                   public std::enable_shared_from_this<FakeEngine> {
 public:
  using Responder = std::function<platform::Value(const std::string& script)>;

  void loadRequest(const platform::web::URLRequest& request) override;
  void loadHTMLString(const std::string& html, const std::string& baseURL) override;
  void evaluateJavaScript(const std::string& script, EvaluationCompletion completion) override;
  std::string url() override { return webView_->url(); }
  bool canLoadRequest(const platform::web::URLRequest&) override { return true; }
  void updateWithInfo(const VKRWebViewEngineInfo& info) override { infos_.push_back(info); }
  std::shared_ptr<platform::web::WebView> engineWebView() override { return webView_; }

  const std::vector<std::string>& scripts() const { return scripts_; }
  void clearScripts() { scripts_.clear(); }
  void setResponder(Responder responder) { responder_ = std::move(responder); }
  const std::vector<VKRWebViewEngineInfo>& infos() const { return infos_; }
  platform::web::testing::FakeWebView& fakeWebView() { return *webView_; }

 private:
  std::vector<std::string> scripts_;
  Responder responder_;
  std::vector<VKRWebViewEngineInfo> infos_;
  std::shared_ptr<platform::web::testing::FakeWebView> webView_ =
      std::make_shared<platform::web::testing::FakeWebView>();
};

}  // namespace vokaru::testing
