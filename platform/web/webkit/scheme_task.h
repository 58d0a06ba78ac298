#pragma once

#include <webkit2/webkit2.h>

#include <atomic>
#include <functional>

#include "platform/ui/gtk/gobject_ptr.h"
#include "platform/web/url_scheme.h"

namespace platform::web {

// A custom-scheme request of the engine, answered through URLSchemeTask from any thread; the
// engine's request is finished on the main thread.
class WebKitSchemeTask final : public URLSchemeTask {
 public:
  explicit WebKitSchemeTask(WebKitURISchemeRequest* request);
  ~WebKitSchemeTask() override;

  const URLRequest& request() const override { return info_; }
  void respond(URLSchemeResponse response) override;
  void fail(Error error) override;

 private:
  using RequestPtr = ui::gtk::GObjectPtr<WebKitURISchemeRequest>;
  // Runs the first answer's finish on the main thread; later answers are dropped.
  void answer(std::function<void(WebKitURISchemeRequest*)> finish);

  std::atomic<bool> answered_{false};
  RequestPtr request_;
  URLRequest info_;
};

}  // namespace platform::web
