#pragma once

#include <memory>
#include <optional>
#include <string>

#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/notification_center.h"
#include "platform/dispatch/timer.h"
#include "platform/ui/activity_indicator_view.h"
#include "platform/ui/image_view.h"
#include "platform/ui/view.h"
#include "platform/ui/view_animation.h"

// What decides the launch image: the device's kind and screen.
struct VKRSplashScreenDevice {
  bool phone = false;
  bool tablet = false;
  bool phone480 = false;     // a phone with a 480-point screen
  bool phone568 = false;     // 568 points
  bool phone667 = false;     // 667 points
  bool phone736 = false;     // 736 points
  bool doubleScale = false;  // screen scale 2
};

// The splash screen (service "SplashScreen"): covers the host's view with the launch image and a
// spinner from start-up until the first page has loaded (or the page hides it), then fades it
// out, as the preferences say. While it shows, the host controller does not autorotate. Main
// thread only.
class VKRSplashScreen : public VKRPlugin, public std::enable_shared_from_this<VKRSplashScreen> {
 public:
  explicit VKRSplashScreen(std::shared_ptr<VKRWebViewEngineProtocol> engine);
  ~VKRSplashScreen() override;

  void pluginInitialize() override;
  // Hides the splash when the "AutoHideSplashScreen" preference is absent or true.
  void pageDidLoad();
  void setVisible(bool visible);
  bool isVisible() const { return visible_; }

  // The views while shown; null otherwise.
  std::shared_ptr<platform::ui::ImageView> imageView() const { return imageView_; }
  std::shared_ptr<platform::ui::ActivityIndicatorView> activityView() const {
    return activityView_;
  }

  // The desktop's device: a phone (the idiom question has no answer), by the main screen's size.
  static VKRSplashScreenDevice getCurrentDevice();
  // The launch image's name for the orientation, the orientations the host supports (a mask of
  // the platform's values) and the device, from the bundle's "UILaunchImageFile" (or "Default").
  static std::string getImageName(int64_t orientation, unsigned supportedOrientations,
                                  const VKRSplashScreenDevice& device,
                                  const std::optional<std::string>& launchImageFile);
  // The wait after a hide request and the fade that follows, from the preferences.
  struct HideTiming {
    platform::Duration wait{};
    platform::Duration fade{};
  };
  static HideTiming hideTiming(const platform::Dictionary& settings);

 private:
  void show(const VKRInvokedUrlCommand& command);
  void hide(const VKRInvokedUrlCommand& command);

  void createViews();
  void destroyViews();
  void updateImage();
  void updateBounds();
  int64_t getCurrentOrientation() const;
  platform::Dictionary settings() const;

  std::shared_ptr<platform::ui::ActivityIndicatorView> activityView_;
  std::shared_ptr<platform::ui::ImageView> imageView_;
  std::optional<std::string> curImageName_;
  bool visible_ = false;
  std::weak_ptr<platform::ui::View> observedView_;
  platform::ui::View::ObserverId boundsObserver_ = 0;
  platform::NotificationCenter::Observation pageLoadObservation_;
  // The wait before the fade, then the fade; cancelled when the plugin goes.
  platform::Timer hideTimer_;
  std::shared_ptr<platform::ui::Animation> fade_;
};
