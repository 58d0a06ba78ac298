#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "VokaruLib/Classes/Public/vkr_plugin_result.h"
#include "platform/dispatch/timer.h"
#include "platform/media/audio_recorder.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/toolbar.h"
#include "platform/ui/view_controller.h"

class VKRCapture;

// The recorder screen of the capture plugin: a record/stop button, the elapsed time and a Done
// button. It records one ".wav" file into the temporary folder (optionally limited to a
// duration) and, when it closes, sends the capture's one result: the file's description, or an
// error code. Main thread only.
class VKRAudioRecorderViewController : public platform::ui::ViewController {
 public:
  VKRAudioRecorderViewController(std::shared_ptr<VKRCapture> captureCommand,
                                 std::optional<double> duration, std::string callbackId);
  ~VKRAudioRecorderViewController() override;

  // "m:ss" above 59 seconds, "0:ss" below.
  static std::string formatTime(int32_t seconds);

  void loadView() override;
  void viewDidLoad() override;
  unsigned supportedInterfaceOrientations() const override;

  // The record button's action: starts or stops recording.
  void processButton();
  // The Done button's action, and every way out on failure: closes the screen and sends the
  // result, once.
  void dismissAudioView();
  void updateTime();

  uint64_t errorCode() const { return errorCode_; }
  bool isTimed() const { return isTimed_; }
  const std::shared_ptr<platform::ui::Button>& recordButton() const { return recordButton_; }
  const std::shared_ptr<platform::ui::BarButtonItem>& doneButton() const { return doneButton_; }
  const std::shared_ptr<platform::ui::Label>& timerLabel() const { return timerLabel_; }
  const std::shared_ptr<platform::ui::View>& recordingView() const { return recordingView_; }
  std::shared_ptr<platform::media::AudioRecorder> recorder() const { return avRecorder_; }

 private:
  void startRecording();
  void stopRecordingCleanup();
  void audioRecorderDidFinishRecording(bool successfully);
  void audioRecorderEncodeErrorDidOccur(const platform::Error& error);

  std::weak_ptr<VKRCapture> captureCommand_;
  std::optional<double> duration_;
  std::string callbackId_;
  uint64_t errorCode_ = 3;
  bool isTimed_ = false;
  bool closed_ = false;
  std::shared_ptr<platform::ui::BarButtonItem> doneButton_;
  std::shared_ptr<platform::ui::View> recordingView_;
  std::shared_ptr<platform::ui::Button> recordButton_;
  std::shared_ptr<const platform::ui::Image> recordImage_;
  std::shared_ptr<const platform::ui::Image> stopRecordImage_;
  std::shared_ptr<platform::ui::Label> timerLabel_;
  std::shared_ptr<platform::media::AudioRecorder> avRecorder_;
  std::optional<VKRPluginResult> pluginResult_;
  platform::Timer timer_;
};

// Shows the recorder screen under a bar holding its Done button.
class VKRAudioNavigationController : public platform::ui::ViewController {
 public:
  explicit VKRAudioNavigationController(std::shared_ptr<VKRAudioRecorderViewController> root);

  const std::shared_ptr<VKRAudioRecorderViewController>& topViewController() const { return root_; }
  void loadView() override;
  unsigned supportedInterfaceOrientations() const override {
    return root_->supportedInterfaceOrientations();
  }

 private:
  std::shared_ptr<VKRAudioRecorderViewController> root_;
};
