#include "Plugins/vokaru-plugin-inappbrowser/vkr_inappbrowser_view_controller.h"

#include <utility>

#include "VokaruLib/Classes/Public/vkr_ui_web_view_delegate.h"
#include "VokaruLib/Classes/Public/vkr_user_agent_util.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/storage/bundle.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "platform/web/web_engine.h"

namespace {

using platform::ui::Rect;

std::string localized(std::string_view key) {
  std::shared_ptr<const platform::Bundle> bundle = platform::Bundle::mainBundle();
  return bundle ? bundle->localizedString(key) : std::string(key);
}

Rect withHeightReducedBy(Rect rect, double amount) {
  rect.size.height -= amount;
  return rect;
}

bool isTop(const std::string& position) { return position == "top"; }

}  // namespace

std::shared_ptr<VKRInAppBrowserViewController> VKRInAppBrowserViewController::create(
    std::string userAgent, std::string prevUserAgent, VKRInAppBrowserOptions options,
    std::optional<AppProcess> appProcess) {
  if (!platform::web::webEngine()) return nullptr;
  auto window = std::make_shared<VKRInAppBrowserViewController>(
      std::move(userAgent), std::move(prevUserAgent), std::move(options), std::move(appProcess));
  window->view();  // builds the views
  return window;
}

VKRInAppBrowserViewController::VKRInAppBrowserViewController(std::string userAgent,
                                                             std::string prevUserAgent,
                                                             VKRInAppBrowserOptions options,
                                                             std::optional<AppProcess> appProcess)
    : userAgent_(std::move(userAgent)),
      prevUserAgent_(std::move(prevUserAgent)),
      browserOptions_(std::move(options)) {
  if (appProcess && appProcess->appWebView) {
    appWebView_ = std::move(appProcess->appWebView);
    appOrigin_ = std::move(appProcess->origin);
  }
}

VKRInAppBrowserViewController::~VKRInAppBrowserViewController() {
  if (webView_) webView_->setDelegate({});
  // A window dropped without close() must not keep the lock from the other web views.
  VKRUserAgentUtil::releaseLock(&userAgentLockToken_);
}

std::weak_ptr<VKRInAppBrowserViewController> VKRInAppBrowserViewController::weakSelf() {
  return std::static_pointer_cast<VKRInAppBrowserViewController>(shared_from_this());
}

void VKRInAppBrowserViewController::loadView() {
  ViewController::loadView();
  createViews();
}

void VKRInAppBrowserViewController::createViews() {
  using namespace platform::ui;
  std::shared_ptr<View> root = view();
  const Rect bounds = root->bounds();
  const double height = bounds.height();
  const double width = bounds.width();
  const bool top = isTop(browserOptions_.toolbarposition);

  webView_ = makeWebView(
      withHeightReducedBy(bounds, browserOptions_.location ? kFooterHeight : kToolbarHeight),
      std::exchange(appWebView_, nullptr));
  platform::web::WebViewSettings settings = webView_->settings();
  settings.scalesPageToFit = false;
  webView_->setSettings(settings);
  root->addSubview(webView_);
  root->sendSubviewToBack(webView_);

  const Point centre = webView_->frame().center();
  spinner_ = std::make_shared<ActivityIndicatorView>(
      Rect(centre.x, centre.y, kSpinnerSize, kSpinnerSize), ActivityIndicatorStyle::Gray);
  spinner_->setAutoresizingMask(kFlexibleLeftMargin | kFlexibleRightMargin | kFlexibleTopMargin |
                                kFlexibleBottomMargin);
  spinner_->setOpaque(false);
  spinner_->setUserInteractionEnabled(false);
  spinner_->setHidesWhenStopped(true);
  spinner_->stopAnimating();

  std::weak_ptr<VKRInAppBrowserViewController> self = weakSelf();
  closeButton_ = BarButtonItem::done([self] {
    if (auto window = self.lock()) window->close();
  });

  toolbar_ = std::make_shared<Toolbar>(
      Rect(0, top ? 0 : static_cast<float>(height - kToolbarHeight), width, kToolbarHeight));
  toolbar_->setAutoresizingMask(top ? kFlexibleWidth : kFlexibleWidth | kFlexibleTopMargin);
  toolbar_->setBarStyle(BarStyle::Black);
  toolbar_->setOpaque(false);

  addressLabel_ = std::make_shared<Label>(Rect(
      kLabelInset, static_cast<float>(top ? height - kLocationBarHeight : height - kFooterHeight),
      width - kLabelInset, kLocationBarHeight));
  addressLabel_->setAutoresizingMask(kFlexibleWidth | kFlexibleRightMargin | kFlexibleTopMargin);
  addressLabel_->setBackgroundColor(Color::clear());
  addressLabel_->setNumberOfLines(1);
  addressLabel_->setTextAlignment(TextAlignment::Left);
  addressLabel_->setTextColor(Color::white());
  addressLabel_->setMinimumScaleFactor(10.0 / addressLabel_->fontSize());
  addressLabel_->setClipsToBounds(true);
  addressLabel_->setOpaque(false);
  addressLabel_->setUserInteractionEnabled(false);
  addressLabel_->setText(localized("Loading..."));

  forwardButton_ = BarButtonItem::titled(localized("\u25BA"), BarButtonItem::Style::Plain, [self] {
    if (auto window = self.lock()) window->goForward();
  });
  backButton_ = BarButtonItem::titled(localized("\u25C4"), BarButtonItem::Style::Plain, [self] {
    if (auto window = self.lock()) window->goBack();
  });
  toolbar_->setItems({closeButton_, BarButtonItem::flexibleSpace(), backButton_,
                      BarButtonItem::fixedSpace(kNavigationButtonSpacing), forwardButton_});

  root->setBackgroundColor(Color::gray());
  root->addSubview(toolbar_);
  root->addSubview(addressLabel_);
  root->addSubview(spinner_);
}

std::shared_ptr<platform::web::WebView> VKRInAppBrowserViewController::makeWebView(
    Rect frame, std::shared_ptr<platform::web::WebView> relatedView) {
  using namespace platform::ui;
  std::shared_ptr<platform::web::WebView> webView = platform::web::webEngine()->createWebView(
      {.frame = frame, .relatedView = std::move(relatedView)});
  // Each web view gets a page-load state machine of its own: a page stopped in one view must not
  // leave the next one's waiting for a load it never makes.
  webViewDelegate_ = std::make_shared<VKRUIWebViewDelegate>(
      std::weak_ptr<platform::web::WebViewDelegate>(weakSelf()));
  webView->setAutoresizingMask(kFlexibleWidth | kFlexibleHeight);
  webView->setDelegate(webViewDelegate_);
  webView->setBackgroundColor(Color::white());
  webView->setClipsToBounds(true);
  webView->setOpaque(true);
  return webView;
}

bool VKRInAppBrowserViewController::wouldLeaveAppProcess(const std::string& url) const {
  return appOrigin_ && !appOrigin_->contains(url);
}

void VKRInAppBrowserViewController::moveToOwnProcess() {
  std::shared_ptr<platform::web::WebView> shared = webView_;
  if (const std::string page = shared->url(); appOrigin_->contains(page)) appPageBefore_ = page;
  appOrigin_.reset();
  webView_ = makeWebView(shared->frame(), nullptr);
  webView_->setSettings(shared->settings());
  webView_->setCustomUserAgent(shared->customUserAgent());
  shared->setDelegate({});
  view()->insertSubview(webView_, 0);  // at the back, where the old one was
  shared->removeFromSuperview();
  // The old view may be asking its delegate right now: it stops and goes on a later turn.
  platform::mainQueue()->async([shared] { shared->stopLoading(); });
}

void VKRInAppBrowserViewController::setWebViewFrame(Rect frame) {
  platform::logf("Setting the WebView's frame to {{%g, %g}, {%g, %g}}", frame.x(), frame.y(),
                 frame.width(), frame.height());
  webView_->setFrame(frame);
}

void VKRInAppBrowserViewController::showLocationBar(bool show) {
  if (addressLabel_->isHidden() != show) return;
  const Rect bounds = view()->bounds();
  const bool toolbarShown = !toolbar_->isHidden();
  if (show) {
    addressLabel_->setHidden(false);
    const double footer = toolbarShown ? kFooterHeight : kLocationBarHeight;
    setWebViewFrame(withHeightReducedBy(bounds, footer));
    Rect label = addressLabel_->frame();
    label.origin.y = bounds.height() - footer;
    addressLabel_->setFrame(label);
  } else {
    addressLabel_->setHidden(true);
    setWebViewFrame(withHeightReducedBy(bounds, toolbarShown ? kToolbarHeight : 0));
  }
}

void VKRInAppBrowserViewController::showToolBar(bool show, const std::string& position) {
  if (toolbar_->isHidden() != show) return;
  const Rect bounds = view()->bounds();
  const bool labelShown = !addressLabel_->isHidden();
  toolbar_->setHidden(!show);
  Rect webView = withHeightReducedBy(bounds, show ? (labelShown ? kFooterHeight : kToolbarHeight)
                                                  : (labelShown ? kLocationBarHeight : 0));
  if (labelShown) {
    Rect label = addressLabel_->frame();
    label.origin.y = bounds.height() - (show ? kFooterHeight : kLocationBarHeight);
    addressLabel_->setFrame(label);
  }
  if (show && isTop(position)) webView.origin.y += toolbar_->frame().height();
  setWebViewFrame(webView);
}

void VKRInAppBrowserViewController::setCloseButtonTitle(const std::string& title) {
  std::weak_ptr<VKRInAppBrowserViewController> self = weakSelf();
  closeButton_ = platform::ui::BarButtonItem::titled(
      title, platform::ui::BarButtonItem::Style::Bordered, [self] {
        if (auto window = self.lock()) window->close();
      });
  closeButton_->setTintColor(kCloseButtonTint);
  std::vector<std::shared_ptr<platform::ui::BarButtonItem>> items = toolbar_->items();
  items.front() = closeButton_;
  toolbar_->setItems(std::move(items));
}

void VKRInAppBrowserViewController::rePositionViews() {
  if (!isTop(browserOptions_.toolbarposition)) return;
  Rect webView = webView_->frame();
  webView.origin.y = kToolbarHeight;
  webView_->setFrame(webView);
  Rect toolbar = toolbar_->frame();
  toolbar.origin.y = getStatusBarOffset();
  toolbar_->setFrame(toolbar);
}

void VKRInAppBrowserViewController::viewWillAppear(bool animated) {
  platform::ui::Application::shared().setStatusBarStyle(0);
  rePositionViews();
  ViewController::viewWillAppear(animated);
}

unsigned VKRInAppBrowserViewController::supportedInterfaceOrientations() const {
  if (auto delegate = orientationDelegate_.lock())
    return delegate->supportedInterfaceOrientations();
  return platform::ui::kOrientationMaskPortrait;
}

bool VKRInAppBrowserViewController::shouldAutorotate() const {
  if (auto delegate = orientationDelegate_.lock()) return delegate->shouldAutorotate();
  return true;
}

void VKRInAppBrowserViewController::loadWithUserAgent(const platform::web::URLRequest& request) {
  VKRUserAgentUtil::applyUserAgentDefault(*webView_);
  webView_->loadRequest(request);
}

void VKRInAppBrowserViewController::navigateTo(const std::string& url) {
  if (closed_) return;
  if (wouldLeaveAppProcess(url)) moveToOwnProcess();
  platform::web::URLRequest request(url);
  if (userAgentLockToken_ != 0) {
    loadWithUserAgent(request);
    return;
  }
  std::weak_ptr<VKRInAppBrowserViewController> self = weakSelf();
  VKRUserAgentUtil::acquireLock([self, request](int64_t lockToken) {
    std::shared_ptr<VKRInAppBrowserViewController> window = self.lock();
    if (!window || window->closed_) {
      VKRUserAgentUtil::releaseLock(&lockToken);  // hand it on: nobody here needs it any more
      return;
    }
    window->userAgentLockToken_ = lockToken;
    VKRUserAgentUtil::setUserAgent(window->userAgent_, lockToken);
    window->loadWithUserAgent(request);
  });
}

void VKRInAppBrowserViewController::close() {
  // The delegate may drop the last reference to this window.
  std::shared_ptr<platform::ui::ViewController> keep = shared_from_this();
  closed_ = true;
  VKRUserAgentUtil::releaseLock(&userAgentLockToken_);
  currentURL_.clear();
  if (std::shared_ptr<VKRInAppBrowserNavigationDelegate> delegate = navigationDelegate()) {
    delegate->browserExit();
  }
  std::weak_ptr<platform::ui::ViewController> container = container_;
  platform::mainQueue()->async([container] {
    if (auto shown = container.lock()) shown->dismissViewController(true, nullptr);
  });
}

void VKRInAppBrowserViewController::goBack() {
  // The new web view's history starts with the page it took over: back from there is the app's
  // page before it, loaded again.
  if (!webView_->canGoBack() && !appPageBefore_.empty()) {
    navigateTo(std::exchange(appPageBefore_, std::string()));
    return;
  }
  webView_->goBack();
}

void VKRInAppBrowserViewController::goForward() { webView_->goForward(); }

bool VKRInAppBrowserViewController::shouldStartLoad(platform::web::WebView& webView,
                                                    const platform::web::NavigationAction& action) {
  const std::string allowed = std::exchange(allowedInOwnProcess_, std::string());
  if (action.request.url == action.request.mainDocumentURL) currentURL_ = action.request.url;
  if (action.mainFrame && !allowed.empty() && action.request.url == allowed) return true;
  std::shared_ptr<VKRInAppBrowserNavigationDelegate> delegate = navigationDelegate();
  if (!delegate || !delegate->shouldStartLoad(webView, action)) return false;
  if (action.mainFrame && wouldLeaveAppProcess(action.request.url)) {
    // Stopped here and made again in a view of its own, whose events the delegate hears next.
    // It has allowed this navigation already: the new view's question for it isn't asked again.
    moveToOwnProcess();
    allowedInOwnProcess_ = action.request.url;
    loadWithUserAgent(action.request);
    return false;
  }
  return true;
}

void VKRInAppBrowserViewController::updateButtonsAndSpinner(bool loading) {
  backButton_->setEnabled(webView_->canGoBack() || !appPageBefore_.empty());
  forwardButton_->setEnabled(webView_->canGoForward());
  if (loading) {
    spinner_->startAnimating();
  } else {
    spinner_->stopAnimating();
  }
}

void VKRInAppBrowserViewController::didStartLoad(platform::web::WebView& webView) {
  addressLabel_->setText(localized("Loading..."));
  updateButtonsAndSpinner(true);
  if (auto delegate = navigationDelegate()) delegate->didStartLoad(webView);
}

void VKRInAppBrowserViewController::didFinishLoad(platform::web::WebView& webView) {
  addressLabel_->setText(currentURL_);
  updateButtonsAndSpinner(false);
  if (userAgentLockToken_ != 0) {
    // A document without a body (a plain file, an image) gives the main web view its agent back
    // while the window keeps the lock. Asked asynchronously: no nested main loop here.
    std::weak_ptr<VKRInAppBrowserViewController> self = weakSelf();
    webView_->evaluateJavaScript("document.body==null", [self](
                                                            platform::Result<std::string> answer) {
      std::shared_ptr<VKRInAppBrowserViewController> window = self.lock();
      if (window && window->userAgentLockToken_ != 0 && answer.ok() && answer.value() == "true") {
        VKRUserAgentUtil::setUserAgent(window->prevUserAgent_, window->userAgentLockToken_);
      }
    });
  }
  if (auto delegate = navigationDelegate()) delegate->didFinishLoad(webView);
}

void VKRInAppBrowserViewController::didFailLoad(platform::web::WebView& webView,
                                                const platform::Error& error) {
  platform::logf("webView:didFailLoadWithError - %ld: %s", static_cast<long>(error.code()),
                 error.description().c_str());
  updateButtonsAndSpinner(false);
  addressLabel_->setText(localized("Load Error"));
  if (auto delegate = navigationDelegate()) delegate->didFailLoad(webView, error);
}
