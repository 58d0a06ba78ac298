#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "VokaruLib/Classes/Public/vkr_plugin.h"
#include "platform/ui/alert.h"

// Native dialogs and the beep (service "Notification"): alert, confirm and prompt show a modal
// alert and answer the number of the button chosen (from 1), prompt also the text typed; beep
// plays the bundle's "VKRNotification.bundle/beep.wav" a number of times. Dialogs wait in one
// process-wide queue so that one presentation runs at a time. Main thread only.
class VKRNotification : public VKRPlugin, public std::enable_shared_from_this<VKRNotification> {
 public:
  static constexpr const char* kDialogTypeAlert = "alert";
  static constexpr const char* kDialogTypePrompt = "prompt";

  explicit VKRNotification(std::shared_ptr<VKRWebViewEngineProtocol> engine);

  // Shows a dialog; a dialog given no button labels gets an "OK" button, so it can be closed.
  void showDialogWithMessage(const std::string& message, const std::string& title,
                             std::vector<std::string> buttons, const std::string& defaultText,
                             const std::optional<std::string>& callbackId,
                             const std::string& dialogType);
  // Plays the beep `count` times one after another (once for a count below 1).
  static void playBeep(int count);

 private:
  void alert(const VKRInvokedUrlCommand& command);
  void confirm(const VKRInvokedUrlCommand& command);
  void prompt(const VKRInvokedUrlCommand& command);
  void beep(const VKRInvokedUrlCommand& command);

  static void presentAlertcontroller();
};
