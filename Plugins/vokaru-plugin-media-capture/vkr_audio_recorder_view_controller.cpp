#include "Plugins/vokaru-plugin-media-capture/vkr_audio_recorder_view_controller.h"

#include <filesystem>

#include "Plugins/vokaru-plugin-media-capture/vkr_capture.h"
#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/media/audio_session.h"
#include "platform/storage/app_home.h"
#include "platform/ui/image_view.h"
#include "platform/ui/screen.h"

using platform::media::AudioSession;
using platform::ui::Color;
using platform::ui::Rect;

namespace {

constexpr double kBarHeight = 44;
// Sizes used where the capture bundle's pictures are missing.
constexpr double kMicrophoneHeight = 300;
constexpr double kControlsHeight = 120;
constexpr double kRecordingHeight = 60;
constexpr double kButtonSize = 72;

std::shared_ptr<const platform::ui::Image> pictureOf(const std::shared_ptr<VKRCapture>& capture,
                                                     const char* name) {
  std::optional<platform::ui::Image> image =
      capture ? capture->pluginImageResource(name) : std::nullopt;
  return image ? std::make_shared<const platform::ui::Image>(std::move(*image)) : nullptr;
}

double heightOr(const std::shared_ptr<const platform::ui::Image>& image, double fallback) {
  return image ? image->height : fallback;
}

// A strip showing the picture, or the colour where there is none.
std::shared_ptr<platform::ui::View> strip(Rect frame,
                                          const std::shared_ptr<const platform::ui::Image>& image,
                                          Color fallback) {
  auto view = std::make_shared<platform::ui::ImageView>(frame);
  view->setImage(image);
  view->setBackgroundColor(fallback);
  view->setUserInteractionEnabled(false);
  return view;
}

void resetSession() {
  AudioSession& session = AudioSession::sharedInstance();
  session.setCategory(AudioSession::kCategoryPlayAndRecord);
  session.setActive(false);
}

}  // namespace

VKRAudioRecorderViewController::VKRAudioRecorderViewController(
    std::shared_ptr<VKRCapture> captureCommand, std::optional<double> duration,
    std::string callbackId)
    : captureCommand_(std::move(captureCommand)),
      duration_(duration),
      callbackId_(std::move(callbackId)),
      isTimed_(duration.has_value()) {}

VKRAudioRecorderViewController::~VKRAudioRecorderViewController() { timer_.cancel(); }

std::string VKRAudioRecorderViewController::formatTime(int32_t seconds) {
  if (seconds > 59) return platform::format("%d:%02d", seconds / 60, seconds % 60);
  return platform::format("0:%02d", seconds);
}

void VKRAudioRecorderViewController::loadView() {
  std::shared_ptr<VKRCapture> capture = captureCommand_.lock();
  const Rect frame = platform::ui::Screen::main().bounds();
  const double width = frame.width();
  auto root = std::make_shared<platform::ui::View>(frame);
  root->setBackgroundColor(Color::black());

  const bool tall = (frame.width() == 568 && frame.height() == 320) ||
                    (frame.width() == 320 && frame.height() == 568);
  auto microphone = pictureOf(capture, tall ? "microphone-568h" : "microphone");
  auto controls = pictureOf(capture, "controls_bg");
  auto recording = pictureOf(capture, "recording_bg");
  const double microphoneHeight = heightOr(microphone, kMicrophoneHeight);
  const double controlsHeight = heightOr(controls, kControlsHeight);
  const double recordingHeight = heightOr(recording, kRecordingHeight);

  root->addSubview(strip(Rect(0, 0, width, microphoneHeight), microphone, Color::gray()));
  root->addSubview(
      strip(Rect(0, microphoneHeight, width, controlsHeight), controls, Color::rgb(0.2, 0.2, 0.2)));
  recordingView_ = strip(Rect(0, 0, width, recordingHeight), recording, Color::rgb(0.6, 0, 0));
  recordingView_->setHidden(true);
  root->addSubview(recordingView_);

  timerLabel_ = std::make_shared<platform::ui::Label>(Rect(0, 0, width, recordingHeight));
  timerLabel_->setBackgroundColor(Color::clear());
  timerLabel_->setTextColor(Color::white());
  timerLabel_->setTextAlignment(platform::ui::TextAlignment::Center);
  timerLabel_->setText("0:00");
  root->addSubview(timerLabel_);

  recordImage_ = pictureOf(capture, "record_button");
  stopRecordImage_ = pictureOf(capture, "stop_button");
  const double buttonWidth = recordImage_ ? recordImage_->width : kButtonSize;
  const double buttonHeight = recordImage_ ? recordImage_->height : kButtonSize;
  recordButton_ = std::make_shared<platform::ui::Button>(
      Rect((width - buttonWidth) / 2, microphoneHeight + (controlsHeight - buttonHeight) / 2,
           buttonWidth, buttonHeight));
  recordButton_->setImage(recordImage_);
  // Without the pictures the button says what it does.
  if (!recordImage_) recordButton_->setTitle("Record");
  std::weak_ptr<VKRAudioRecorderViewController> weak =
      std::static_pointer_cast<VKRAudioRecorderViewController>(shared_from_this());
  recordButton_->setAction([weak] {
    if (auto self = weak.lock()) self->processButton();
  });
  root->addSubview(recordButton_);

  doneButton_ = platform::ui::BarButtonItem::done([weak] {
    if (auto self = weak.lock()) self->dismissAudioView();
  });
  setView(root);
}

void VKRAudioRecorderViewController::viewDidLoad() {
  platform::Result<std::shared_ptr<platform::media::AudioRecorder>> recorder =
      platform::media::AudioRecorder::create(VKRCapture::nextFreeTemporaryPath("audio_%03d.wav"));
  std::weak_ptr<VKRAudioRecorderViewController> weak =
      std::static_pointer_cast<VKRAudioRecorderViewController>(shared_from_this());
  if (!recorder.ok()) {
    platform::logf("Failed to initialize AVAudioRecorder: %s\n",
                   recorder.error().localizedDescription().c_str());
    errorCode_ = 0;
    // The screen is still being presented: close it once that is done.
    platform::mainQueue()->async([weak] {
      if (auto self = weak.lock()) self->dismissAudioView();
    });
    return;
  }
  avRecorder_ = *recorder;
  avRecorder_->setFinishedHandler([weak](bool successfully) {
    if (auto self = weak.lock()) self->audioRecorderDidFinishRecording(successfully);
  });
  avRecorder_->setEncodeErrorHandler([weak](const platform::Error& error) {
    if (auto self = weak.lock()) self->audioRecorderEncodeErrorDidOccur(error);
  });
  avRecorder_->prepareToRecord();
  recordButton_->setEnabled(true);
  doneButton_->setEnabled(true);
}

unsigned VKRAudioRecorderViewController::supportedInterfaceOrientations() const {
  unsigned orientations = platform::ui::kOrientationMaskPortrait;
  std::shared_ptr<VKRCapture> capture = captureCommand_.lock();
  std::shared_ptr<VKRViewController> host = capture ? capture->viewController() : nullptr;
  if (host &&
      (host->supportedInterfaceOrientations() & platform::ui::kOrientationMaskPortraitUpsideDown)) {
    orientations |= platform::ui::kOrientationMaskPortraitUpsideDown;
  }
  return orientations;
}

void VKRAudioRecorderViewController::processButton() {
  if (!avRecorder_) return;
  if (avRecorder_->isRecording()) {
    isTimed_ = false;  // a stop by the user is not a timed completion
    avRecorder_->stop();
    return;
  }
  recordButton_->setImage(stopRecordImage_);
  if (!stopRecordImage_) recordButton_->setTitle("Stop");
  recordingView_->setHidden(false);
  std::weak_ptr<VKRAudioRecorderViewController> weak =
      std::static_pointer_cast<VKRAudioRecorderViewController>(shared_from_this());
  AudioSession::sharedInstance().requestRecordPermission([weak](bool granted) {
    platform::mainQueue()->async([weak, granted] {
      std::shared_ptr<VKRAudioRecorderViewController> self = weak.lock();
      if (!self || self->closed_) return;
      if (granted) {
        self->startRecording();
        return;
      }
      platform::log("Error creating audio session, microphone permission denied.");
      self->errorCode_ = 0;
      self->dismissAudioView();
    });
  });
}

void VKRAudioRecorderViewController::startRecording() {
  AudioSession& session = AudioSession::sharedInstance();
  if (session.setCategory(AudioSession::kCategoryRecord) || session.setActive(true)) {
    errorCode_ = 0;
    dismissAudioView();
    return;
  }
  bool started = false;
  if (duration_) {
    isTimed_ = true;
    started = avRecorder_->recordForDuration(platform::seconds(*duration_));
  } else {
    started = avRecorder_->record();
  }
  if (!started) {
    errorCode_ = 0;
    dismissAudioView();
    return;
  }
  timerLabel_->setText("0.00");
  std::weak_ptr<VKRAudioRecorderViewController> weak =
      std::static_pointer_cast<VKRAudioRecorderViewController>(shared_from_this());
  timer_.cancel();
  timer_ = platform::scheduleRepeating(platform::seconds(0.5), platform::mainQueue(), [weak] {
    if (auto self = weak.lock()) self->updateTime();
  });
  doneButton_->setEnabled(false);
}

void VKRAudioRecorderViewController::updateTime() {
  if (!avRecorder_) return;
  timerLabel_->setText(formatTime(static_cast<int32_t>(avRecorder_->currentTime())));
}

void VKRAudioRecorderViewController::stopRecordingCleanup() {
  if (avRecorder_ && avRecorder_->isRecording()) avRecorder_->stop();
  recordButton_->setImage(recordImage_);
  if (!recordImage_) recordButton_->setTitle("Record");
  recordingView_->setHidden(true);
  doneButton_->setEnabled(true);
  resetSession();
}

void VKRAudioRecorderViewController::audioRecorderDidFinishRecording(bool successfully) {
  timer_.cancel();
  const std::string path = avRecorder_ ? avRecorder_->path() : std::string();
  stopRecordingCleanup();
  std::shared_ptr<VKRCapture> capture = captureCommand_.lock();
  if (successfully && capture) {
    pluginResult_ = VKRPluginResult::resultWithStatus(
        kVKRCommandStatusOK, platform::Value::Array{platform::Value(
                                 capture->getMediaDictionaryFromPath(path, "audio/wav"))});
  } else {
    pluginResult_ =
        VKRPluginResult::resultWithStatusMessageToErrorObject(kVKRCommandStatusIOError, 0);
  }
}

void VKRAudioRecorderViewController::audioRecorderEncodeErrorDidOccur(const platform::Error&) {
  timer_.cancel();
  stopRecordingCleanup();
  platform::log("error recording audio");
  pluginResult_ =
      VKRPluginResult::resultWithStatusMessageToErrorObject(kVKRCommandStatusIOError, 0);
  dismissAudioView();
}

void VKRAudioRecorderViewController::dismissAudioView() {
  if (closed_) return;
  closed_ = true;
  timer_.cancel();
  std::shared_ptr<VKRCapture> capture = captureCommand_.lock();
  std::shared_ptr<VKRViewController> host = capture ? capture->viewController() : nullptr;
  if (host && host->presentedViewController()) host->dismissViewController(true, nullptr);
  if (!pluginResult_) {
    pluginResult_ = VKRPluginResult::resultWithStatusMessageToErrorObject(
        kVKRCommandStatusError, static_cast<int32_t>(errorCode_));
  }
  if (avRecorder_) {
    avRecorder_->setFinishedHandler(nullptr);
    avRecorder_->setEncodeErrorHandler(nullptr);
    avRecorder_->stop();
  }
  avRecorder_.reset();
  resetSession();
  if (!capture) return;
  capture->setInUse(false);
  if (std::shared_ptr<VKRCommandDelegate> delegate = capture->commandDelegate()) {
    delegate->sendPluginResult(*pluginResult_, callbackId_);
  }
}

VKRAudioNavigationController::VKRAudioNavigationController(
    std::shared_ptr<VKRAudioRecorderViewController> root)
    : root_(std::move(root)) {}

void VKRAudioNavigationController::loadView() {
  const Rect frame = platform::ui::Screen::main().bounds();
  auto view = std::make_shared<platform::ui::View>(frame);
  view->setBackgroundColor(Color::black());
  std::shared_ptr<platform::ui::View> content = root_->view();
  auto bar = std::make_shared<platform::ui::Toolbar>(Rect(0, 0, frame.width(), kBarHeight));
  bar->setItems({platform::ui::BarButtonItem::flexibleSpace(), root_->doneButton()});
  content->setFrame(Rect(0, kBarHeight, frame.width(), frame.height() - kBarHeight));
  view->addSubview(content);
  view->addSubview(bar);
  setView(view);
}
