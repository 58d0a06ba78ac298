// Arbitrary streams of web view events through the page-load state machine. Properties: nothing
// crashes; every finish that reaches the real delegate comes right after a start that reached it.
#include <cstdlib>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Public/vkr_ui_web_view_delegate.h"
#include "platform/foundation/log.h"
#include "platform/web/testing/fake_web_view.h"
#include "platform/web/web_errors.h"

namespace {

class Recorder : public platform::web::WebViewDelegate {
 public:
  bool shouldStartLoad(platform::web::WebView&, const platform::web::NavigationAction&) override {
    return allow;
  }
  void didStartLoad(platform::web::WebView&) override { events.push_back('s'); }
  void didFinishLoad(platform::web::WebView&) override {
    if (events.empty() || events.back() != 's') std::abort();
    events.push_back('f');
  }
  void didFailLoad(platform::web::WebView&, const platform::Error&) override {
    events.push_back('x');
  }
  bool allow = true;
  std::vector<char> events;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (platform::setConsoleLogging(false), true);
  (void)quiet;
  const char* urls[] = {"http://a.test/p", "http://a.test/p#x", "http://b.test/", "tel:1",
                        "gopher://c.test/"};
  auto recorder = std::make_shared<Recorder>();
  auto machine = std::make_shared<VKRUIWebViewDelegate>(recorder);
  auto view = std::make_shared<platform::web::testing::FakeWebView>();
  view->setDelegate(machine);
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = data[i];
    const char* url = urls[(byte >> 3) % 5];
    switch (byte & 7) {
      case 0:
        view->simulateShouldStart(url);
        break;
      case 1: {
        platform::web::NavigationAction frame;
        frame.request = platform::web::URLRequest(url);
        frame.mainFrame = false;
        view->simulateShouldStart(frame);
        break;
      }
      case 2:
        view->simulateDidStart();
        break;
      case 3:
        view->simulateDidFinish();
        break;
      case 4:
        view->simulateDidFail(
            platform::Error(platform::kURLErrorDomain, platform::kURLErrorCancelled));
        break;
      case 5:
        view->simulateDidFail(platform::Error(platform::kURLErrorDomain, byte));
        break;
      case 6:
        view->setURL(url);
        view->setScriptResult("location.href", std::string(urls[byte % 5]));
        break;
      case 7:
        recorder->allow = !recorder->allow;
        break;
    }
  }
  return 0;
}
