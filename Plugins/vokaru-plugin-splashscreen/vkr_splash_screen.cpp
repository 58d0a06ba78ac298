#include "Plugins/vokaru-plugin-splashscreen/vkr_splash_screen.h"

#include <algorithm>
#include <cmath>

#include "VokaruLib/Classes/Private/Plugins/vkr_ui_web_view_navigation_delegate.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "VokaruLib/Classes/Public/vokaru_preferences.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/log.h"
#include "platform/storage/bundle.h"
#include "platform/ui/image_file.h"
#include "platform/ui/screen.h"
#include "platform/ui/view_animation.h"

VKR_REGISTER_PLUGIN(VKRSplashScreen);

using platform::ui::ActivityIndicatorStyle;
using platform::ui::Rect;
using platform::ui::Size;

VKRSplashScreen::VKRSplashScreen(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("show", &VKRSplashScreen::show);
  addAction("hide", &VKRSplashScreen::hide);
}

VKRSplashScreen::~VKRSplashScreen() {
  hideTimer_.cancel();
  if (fade_) fade_->cancel();
  if (auto view = observedView_.lock()) view->removeObserver(boundsObserver_);
}

void VKRSplashScreen::pluginInitialize() {
  pageLoadObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      VKRPageDidLoadNotification, nullptr,
      [this](const platform::Notification&) { pageDidLoad(); });
  setVisible(true);
}

void VKRSplashScreen::show(const VKRInvokedUrlCommand&) { setVisible(true); }

void VKRSplashScreen::hide(const VKRInvokedUrlCommand&) { setVisible(false); }

void VKRSplashScreen::pageDidLoad() {
  if (vokaruBoolSettingForKey(settings(), "AutoHideSplashScreen", true)) setVisible(false);
}

VKRSplashScreen::HideTiming VKRSplashScreen::hideTiming(const platform::Dictionary& settings) {
  const bool autoHide = vokaruBoolSettingForKey(settings, "AutoHideSplashScreen", true);
  double fadeMilliseconds = 0;
  if (vokaruBoolSettingForKey(settings, "FadeSplashScreen", true)) {
    fadeMilliseconds = vokaruFloatSettingForKey(settings, "FadeSplashScreenDuration", 3000);
    if (fadeMilliseconds < 30) fadeMilliseconds *= 1000;  // given in seconds
  }
  const double delayMilliseconds =
      autoHide ? vokaruFloatSettingForKey(settings, "SplashScreenDelay", 3000) : 0;
  if (delayMilliseconds == 0 && fadeMilliseconds == 0) return {};
  const double waitSeconds =
      std::trunc(((autoHide ? delayMilliseconds - fadeMilliseconds : fadeMilliseconds)) / 1000);
  return {platform::seconds(std::max(0.0, waitSeconds)),
          platform::seconds(fadeMilliseconds / 1000)};
}

void VKRSplashScreen::setVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (visible) {
    if (!imageView_) createViews();
    return;
  }
  const HideTiming timing = hideTiming(settings());
  if (timing.wait == platform::Duration::zero() && timing.fade == platform::Duration::zero()) {
    destroyViews();
    return;
  }
  hideTimer_ = platform::dispatchAfter(
      timing.wait, platform::mainQueue(), [weak = weak_from_this(), timing] {
        auto self = weak.lock();
        if (!self) return;
        // The fade hides the views as they are now; a teardown that finds them gone removes
        // nothing.
        self->fade_ = platform::ui::animateAlpha({self->imageView_, self->activityView_}, 0,
                                                 timing.fade, [weak] {
                                                   if (auto self = weak.lock())
                                                     self->destroyViews();
                                                 });
      });
}

void VKRSplashScreen::createViews() {
  std::shared_ptr<VKRViewController> host = viewController();
  std::shared_ptr<platform::ui::View> view = host ? host->view() : nullptr;
  if (!view) return;
  const VKRSplashScreenDevice device = getCurrentDevice();
  host->setEnabledAutorotation(
      device.tablet || device.phone736 ? host->shouldAutorotateDefaultValue() : false);

  const platform::Dictionary preferences = settings();
  const platform::Value* indicator = vokaruSettingForKey(preferences, "TopActivityIndicator");
  const std::string styleName = indicator ? indicator->stringOr("gray") : "gray";
  const ActivityIndicatorStyle style = styleName == "whiteLarge"
                                           ? ActivityIndicatorStyle::WhiteLarge
                                       : styleName == "white" ? ActivityIndicatorStyle::White
                                                              : ActivityIndicatorStyle::Gray;
  view->setUserInteractionEnabled(false);

  const double side = style == ActivityIndicatorStyle::WhiteLarge ? 37 : 20;
  const platform::ui::Point middle = view->bounds().center();
  activityView_ = std::make_shared<platform::ui::ActivityIndicatorView>(
      Rect(middle.x - side / 2, middle.y - side / 2, side, side), style);
  activityView_->setAutoresizingMask(
      platform::ui::kFlexibleLeftMargin | platform::ui::kFlexibleRightMargin |
      platform::ui::kFlexibleTopMargin | platform::ui::kFlexibleBottomMargin);
  activityView_->startAnimating();

  imageView_ = std::make_shared<platform::ui::ImageView>();
  view->addSubview(imageView_);
  if (vokaruBoolSettingForKey(preferences, "ShowSplashScreenSpinner", true)) {
    view->addSubview(activityView_);
  }

  observedView_ = view;
  boundsObserver_ = view->addObserver(
      [weak = weak_from_this()](platform::ui::View&, platform::ui::ViewChange change) {
        if (change != platform::ui::ViewChange::Frame) return;
        if (auto self = weak.lock()) self->updateImage();
      });
  updateImage();
}

void VKRSplashScreen::destroyViews() {
  std::shared_ptr<VKRViewController> host = viewController();
  if (host) host->setEnabledAutorotation(host->shouldAutorotateDefaultValue());
  if (imageView_) imageView_->removeFromSuperview();
  if (activityView_) activityView_->removeFromSuperview();
  imageView_.reset();
  activityView_.reset();
  curImageName_.reset();
  if (auto view = observedView_.lock()) {
    view->setUserInteractionEnabled(true);
    view->removeObserver(boundsObserver_);
  }
  observedView_.reset();
  boundsObserver_ = 0;
}

VKRSplashScreenDevice VKRSplashScreen::getCurrentDevice() {
  const platform::ui::Screen& screen = platform::ui::Screen::main();
  const Rect bounds = screen.bounds();
  const int height = static_cast<int>(std::max(bounds.width(), bounds.height()));
  VKRSplashScreenDevice device;
  device.phone = true;
  device.phone480 = height == 480;
  device.phone568 = height == 568;
  device.phone667 = height == 667;
  device.phone736 = height == 736;
  device.doubleScale = screen.scale() == 2.0;
  return device;
}

// Windows never rotate on the desktop: the interface stays portrait.
int64_t VKRSplashScreen::getCurrentOrientation() const { return kVKRInterfaceOrientationPortrait; }

std::string VKRSplashScreen::getImageName(int64_t orientation, unsigned supportedOrientations,
                                          const VKRSplashScreenDevice& device,
                                          const std::optional<std::string>& launchImageFile) {
  const bool portrait = (supportedOrientations & 6) != 0;
  const bool landscape = (supportedOrientations & 24) != 0;
  const bool both = portrait && landscape;
  const bool isLandscape = orientation == 3 || orientation == 4;
  std::string name = "Default";
  if (launchImageFile) name = std::filesystem::path(*launchImageFile).replace_extension().string();

  if (name == "LaunchImage") {
    if (device.tablet || device.phone480 || device.phone568) {
      name += "-700";
    } else if (device.phone667) {
      name += "-800";
    } else if (device.phone736) {
      name += "-800";
      if (orientation == 1 || orientation == 2) name += "-Portrait";
    }
  }
  if (device.phone568) {
    name += "-568h";
  } else if (device.phone667) {
    name += "-667h";
  } else if (device.phone736) {
    if (both ? isLandscape : landscape) name += "-Landscape";
    name += "-736h";
  } else if (device.tablet) {
    name += (both ? isLandscape : landscape) ? "-Landscape" : "-Portrait";
  }
  return name;
}

void VKRSplashScreen::updateImage() {
  std::shared_ptr<VKRViewController> host = viewController();
  if (!host || !imageView_) return;
  auto bundle = platform::Bundle::mainBundle();
  std::optional<std::string> launchImageFile;
  if (bundle) {
    if (const std::string* file =
            bundle->objectForInfoDictionaryKey("UILaunchImageFile").stringIf()) {
      launchImageFile = *file;
    }
  }
  const std::string name =
      getImageName(getCurrentOrientation(), host->supportedInterfaceOrientations(),
                   getCurrentDevice(), launchImageFile);
  if (name != curImageName_) {
    // Shown from its file: the launch image is only drawn, so its pixels needn't stay in memory.
    platform::ui::ImageFile image;
    if (bundle) {
      const int scale = static_cast<int>(platform::ui::Screen::main().scale());
      if (auto file = platform::ui::findNamedImage(bundle->bundlePath(), name, scale)) {
        if (auto read = platform::ui::imageFileAt(*file)) image = std::move(*read);
      }
    }
    imageView_->setImageFile(std::move(image));
    curImageName_ = name;
  }
  if (!imageView_->imageFile().isEmpty()) {
    updateBounds();
  } else {
    platform::logf("WARNING: The splashscreen image named %s was not found", name.c_str());
  }
}

void VKRSplashScreen::updateBounds() {
  std::shared_ptr<VKRViewController> host = viewController();
  if (!host || !imageView_) return;
  Rect rect(platform::ui::Point(), imageView_->imageSize());
  // The interface is always portrait here, so the image is never turned.
  const Size screen = platform::ui::Screen::main().bounds().size;
  const Rect viewBounds = host->view()->bounds();
  if (screen != rect.size && rect.width() > 0 && viewBounds.height() > 0) {
    const double viewRatio = viewBounds.width() / viewBounds.height();
    const double imageRatio = rect.width() / rect.height();
    const double scale = viewRatio > imageRatio ? viewBounds.width() / rect.width()
                                                : viewBounds.height() / rect.height();
    rect.size = {rect.width() * scale, rect.height() * scale};
  }
  imageView_->setFrame(rect);
}

platform::Dictionary VKRSplashScreen::settings() const {
  std::shared_ptr<VKRCommandDelegate> delegate = commandDelegate();
  return delegate ? delegate->settings() : platform::Dictionary();
}
