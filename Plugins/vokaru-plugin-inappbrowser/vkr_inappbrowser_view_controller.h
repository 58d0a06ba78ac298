#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Plugins/vokaru-plugin-inappbrowser/vkr_app_origin.h"
#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser_options.h"
#include "platform/ui/activity_indicator_view.h"
#include "platform/ui/label.h"
#include "platform/ui/toolbar.h"
#include "platform/ui/view_controller.h"
#include "platform/web/web_view.h"

class VKRUIWebViewDelegate;

// Receives the browser window's navigation questions and load events (one start and one finish
// or failure per top-level page) and its closing. Main thread.
class VKRInAppBrowserNavigationDelegate : public platform::web::WebViewDelegate {
 public:
  // The window closed; it asks and tells nothing more.
  virtual void browserExit() = 0;
};

// The in-app browser's window: a second web view with a toolbar (close, back, forward), an
// address label and a spinner. It loads with its own user agent, so it holds the process-wide
// user-agent lock from its first navigation until it closes. Its web view's events pass through
// the page-load state machine; the window updates its controls and hands every question and
// event on to its navigation delegate. Main thread only; make it with create().
//
// A window opened on one of the app's own pages may start in the app's web process (its web view
// related to the app's), which spares a process of its own. It stays there only while its page is
// one of the app's: a top-level navigation that would leave the app's pages (a link, a form, a
// redirect, script, a later navigateTo()) is stopped and continued in a fresh web view with a
// process of its own, which the window keeps from then on, so no other site's page ever runs in
// the process of the page that reaches native code. Navigations the delegate refuses (handed to
// other programs, answers of injected scripts) leave the page where it is; the back button still
// leads from the first page in the new view to the app's page before it.
class VKRInAppBrowserViewController : public platform::ui::ViewController,
                                      public platform::web::WebViewDelegate {
 public:
  static constexpr double kToolbarHeight = 44;
  static constexpr double kLocationBarHeight = 21;
  static constexpr double kFooterHeight = kToolbarHeight + kLocationBarHeight;
  static constexpr double kLabelInset = 5;
  static constexpr double kSpinnerSize = 20;
  static constexpr double kNavigationButtonSpacing = 20;
  // The close button's tint when it has a caption.
  static constexpr platform::ui::Color kCloseButtonTint =
      platform::ui::Color::rgb(60 / 255.0, 136 / 255.0, 230 / 255.0);

  // The app's web view and the pages that count as the app's own.
  struct AppProcess {
    std::shared_ptr<platform::web::WebView> appWebView;
    VKRAppOrigin origin;
  };

  // A window with its views built, or null when no web engine is installed. `userAgent` is the
  // window's own agent; `prevUserAgent` the main web view's, set back for documents without a
  // body. Given `appProcess`, the window starts in the app's web view's process.
  static std::shared_ptr<VKRInAppBrowserViewController> create(
      std::string userAgent, std::string prevUserAgent, VKRInAppBrowserOptions options,
      std::optional<AppProcess> appProcess = std::nullopt);
  VKRInAppBrowserViewController(std::string userAgent, std::string prevUserAgent,
                                VKRInAppBrowserOptions options,
                                std::optional<AppProcess> appProcess);
  ~VKRInAppBrowserViewController() override;

  // Show or hide the address label, or the toolbar, laying out the web view around what shows;
  // nothing happens when it already shows (or hides). A toolbar shown at the "top" pushes the web
  // view down by its height.
  void showLocationBar(bool show);
  void showToolBar(bool show, const std::string& position);
  // Replaces the close button by one with the caption.
  void setCloseButtonTitle(const std::string& title);
  void setWebViewFrame(platform::ui::Rect frame);
  // With the toolbar at the top: the web view below it, the toolbar below the status bar.
  void rePositionViews();
  // The status bar's height: the desktop has none.
  double getStatusBarOffset() const { return 0; }

  // Loads the URL: at once while the window holds the user-agent lock, else once it gets it;
  // nothing after close().
  void navigateTo(const std::string& url);
  // Releases the lock, tells the navigation delegate (browserExit) and, on a later turn, goes
  // off screen.
  void close();
  void goBack();
  void goForward();

  // From the page-load state machine.
  bool shouldStartLoad(platform::web::WebView& webView,
                       const platform::web::NavigationAction& action) override;
  void didStartLoad(platform::web::WebView& webView) override;
  void didFinishLoad(platform::web::WebView& webView) override;
  void didFailLoad(platform::web::WebView& webView, const platform::Error& error) override;

  void loadView() override;
  void viewWillAppear(bool animated) override;
  // The orientation delegate's answers when there is one; else portrait, rotating.
  unsigned supportedInterfaceOrientations() const override;
  bool shouldAutorotate() const override;

  const std::string& userAgent() const { return userAgent_; }
  const std::string& prevUserAgent() const { return prevUserAgent_; }
  int64_t userAgentLockToken() const { return userAgentLockToken_; }
  const VKRInAppBrowserOptions& browserOptions() const { return browserOptions_; }
  // The URL of the current top-level page; "" before the first and after close().
  const std::string& currentURL() const { return currentURL_; }
  // The web view showing the window's page (another one once a page left the app's process).
  const std::shared_ptr<platform::web::WebView>& webView() const { return webView_; }
  // Whether the web view runs in the app's web process.
  bool inAppProcess() const { return appOrigin_.has_value(); }
  const std::shared_ptr<platform::ui::Toolbar>& toolbar() const { return toolbar_; }
  const std::shared_ptr<platform::ui::Label>& addressLabel() const { return addressLabel_; }
  const std::shared_ptr<platform::ui::ActivityIndicatorView>& spinner() const { return spinner_; }
  const std::shared_ptr<platform::ui::BarButtonItem>& closeButton() const { return closeButton_; }
  const std::shared_ptr<platform::ui::BarButtonItem>& backButton() const { return backButton_; }
  const std::shared_ptr<platform::ui::BarButtonItem>& forwardButton() const {
    return forwardButton_;
  }

  // Held weakly.
  std::shared_ptr<VKRInAppBrowserNavigationDelegate> navigationDelegate() const {
    return navigationDelegate_.lock();
  }
  void setNavigationDelegate(std::weak_ptr<VKRInAppBrowserNavigationDelegate> delegate) {
    navigationDelegate_ = std::move(delegate);
  }
  void setOrientationDelegate(std::weak_ptr<platform::ui::ViewController> delegate) {
    orientationDelegate_ = std::move(delegate);
  }
  // The container the window is shown in (held weakly); close() takes it off screen.
  void setContainer(std::weak_ptr<platform::ui::ViewController> container) {
    container_ = std::move(container);
  }

 private:
  std::weak_ptr<VKRInAppBrowserViewController> weakSelf();
  void createViews();
  // A web view set up for the window, related to `relatedView` when given.
  std::shared_ptr<platform::web::WebView> makeWebView(
      platform::ui::Rect frame, std::shared_ptr<platform::web::WebView> relatedView);
  // Whether loading the URL at the top level would take an outside page into the app's process.
  bool wouldLeaveAppProcess(const std::string& url) const;
  // Puts a fresh web view with a process of its own in place of the one in the app's process.
  void moveToOwnProcess();
  void updateButtonsAndSpinner(bool loading);
  void loadWithUserAgent(const platform::web::URLRequest& request);

  std::string userAgent_;
  std::string prevUserAgent_;
  int64_t userAgentLockToken_ = 0;
  // After close(): a closed window loads nothing more.
  bool closed_ = false;
  VKRInAppBrowserOptions browserOptions_;
  std::shared_ptr<VKRUIWebViewDelegate> webViewDelegate_;
  std::string currentURL_;
  // Only until the views are built.
  std::shared_ptr<platform::web::WebView> appWebView_;
  // Set while the web view runs in the app's web process.
  std::optional<VKRAppOrigin> appOrigin_;
  // The app's page the window showed as it moved to a process of its own, until the back button
  // leads there again.
  std::string appPageBefore_;
  // A navigation the delegate allowed in the app's process and that goes on in the window's own,
  // until the new web view asks about it.
  std::string allowedInOwnProcess_;
  std::shared_ptr<platform::web::WebView> webView_;
  std::shared_ptr<platform::ui::BarButtonItem> closeButton_;
  std::shared_ptr<platform::ui::Label> addressLabel_;
  std::shared_ptr<platform::ui::BarButtonItem> backButton_;
  std::shared_ptr<platform::ui::BarButtonItem> forwardButton_;
  std::shared_ptr<platform::ui::ActivityIndicatorView> spinner_;
  std::shared_ptr<platform::ui::Toolbar> toolbar_;
  std::weak_ptr<platform::ui::ViewController> orientationDelegate_;
  std::weak_ptr<VKRInAppBrowserNavigationDelegate> navigationDelegate_;
  std::weak_ptr<platform::ui::ViewController> container_;
};
