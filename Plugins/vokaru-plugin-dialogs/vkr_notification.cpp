#include "Plugins/vokaru-plugin-dialogs/vkr_notification.h"

#include <deque>

#include "VokaruLib/Classes/Public/vkr_command_delegate.h"
#include "VokaruLib/Classes/Public/vkr_view_controller.h"
#include "platform/dispatch/queue.h"
#include "platform/media/system_sound.h"
#include "platform/storage/bundle.h"

VKR_REGISTER_PLUGIN(VKRNotification);

namespace {

struct QueuedAlert {
  std::shared_ptr<platform::ui::Alert> alert;
  std::weak_ptr<platform::ui::ViewController> host;
};

// The alerts waiting to be presented, the first one being presented; main thread only.
std::deque<QueuedAlert>& alertQueue() {
  static auto* queue = new std::deque<QueuedAlert>();  // lives as long as the process
  return *queue;
}

std::string textOf(const platform::Value& value) {
  if (value.isNull()) return "";
  if (const std::string* text = value.stringIf()) return *text;
  return platform::describe(value);
}

std::vector<std::string> labelsOf(const platform::Value& value) {
  std::vector<std::string> labels;
  if (const auto* array = value.arrayIf()) {
    for (const platform::Value& label : *array) labels.push_back(textOf(label));
  }
  return labels;
}

std::shared_ptr<platform::ui::ViewController> topPresentedViewController(
    std::shared_ptr<platform::ui::ViewController> controller) {
  while (controller && controller->presentedViewController()) {
    controller = controller->presentedViewController();
  }
  return controller;
}

}  // namespace

VKRNotification::VKRNotification(std::shared_ptr<VKRWebViewEngineProtocol> engine)
    : VKRPlugin(std::move(engine)) {
  addAction("alert", &VKRNotification::alert);
  addAction("confirm", &VKRNotification::confirm);
  addAction("prompt", &VKRNotification::prompt);
  addAction("beep", &VKRNotification::beep);
}

void VKRNotification::alert(const VKRInvokedUrlCommand& command) {
  std::vector<std::string> buttons;
  if (!command.argumentAtIndex(2).isNull()) buttons.push_back(textOf(command.argumentAtIndex(2)));
  showDialogWithMessage(textOf(command.argumentAtIndex(0)), textOf(command.argumentAtIndex(1)),
                        std::move(buttons), "", command.callbackId(), kDialogTypeAlert);
}

void VKRNotification::confirm(const VKRInvokedUrlCommand& command) {
  showDialogWithMessage(textOf(command.argumentAtIndex(0)), textOf(command.argumentAtIndex(1)),
                        labelsOf(command.argumentAtIndex(2)), "", command.callbackId(),
                        kDialogTypeAlert);
}

void VKRNotification::prompt(const VKRInvokedUrlCommand& command) {
  showDialogWithMessage(textOf(command.argumentAtIndex(0)), textOf(command.argumentAtIndex(1)),
                        labelsOf(command.argumentAtIndex(2)), textOf(command.argumentAtIndex(3)),
                        command.callbackId(), kDialogTypePrompt);
}

void VKRNotification::beep(const VKRInvokedUrlCommand& command) {
  playBeep(static_cast<int>(command.argumentAtIndex(0, 1).intOr(1)));
}

void VKRNotification::showDialogWithMessage(const std::string& message, const std::string& title,
                                            std::vector<std::string> buttons,
                                            const std::string& defaultText,
                                            const std::optional<std::string>& callbackId,
                                            const std::string& dialogType) {
  if (buttons.empty()) buttons.push_back("OK");
  auto alert = std::make_shared<platform::ui::Alert>(title, message);
  const bool isPrompt = dialogType == kDialogTypePrompt;
  std::weak_ptr<platform::ui::Alert> weakAlert = alert;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const int64_t buttonNumber = static_cast<int64_t>(i) + 1;
    alert->addAction(buttons[i], platform::ui::Alert::ActionStyle::Default,
                     [weak = weak_from_this(), weakAlert, buttonNumber, isPrompt, callbackId] {
                       auto self = weak.lock();
                       auto delegate = self ? self->commandDelegate() : nullptr;
                       if (!delegate) return;
                       if (!isPrompt) {
                         delegate->sendPluginResult(
                             VKRPluginResult(kVKRCommandStatusOK, buttonNumber), callbackId);
                         return;
                       }
                       auto shown = weakAlert.lock();
                       platform::Value input;
                       if (shown && !shown->textFields().empty())
                         input = shown->textFields()[0].text;
                       delegate->sendPluginResult(
                           VKRPluginResult(kVKRCommandStatusOK,
                                           platform::Value::dictionary(
                                               {{"buttonIndex", buttonNumber}, {"input1", input}})),
                           callbackId);
                     });
  }
  if (isPrompt) alert->addTextField({.text = defaultText, .placeholder = "", .secure = false});
  alertQueue().push_back({alert, viewController()});
  if (alertQueue().size() == 1) presentAlertcontroller();
}

void VKRNotification::presentAlertcontroller() {
  if (alertQueue().empty()) return;
  QueuedAlert& next = alertQueue().front();
  auto presented = [] {
    alertQueue().pop_front();
    if (!alertQueue().empty()) presentAlertcontroller();
  };
  auto top = topPresentedViewController(next.host.lock());
  if (top && top->presentViewController(next.alert, true, presented)) return;
  // No controller in a window to present from: the alert shows on its own, so that it and those
  // after it are still seen and answered.
  next.alert->show();
  platform::mainQueue()->async(presented);
}

void VKRNotification::playBeep(int count) {
  auto bundle = platform::Bundle::mainBundle();
  if (!bundle) return;
  platform::Result<std::shared_ptr<platform::media::SystemSound>> sound =
      platform::media::SystemSound::create(bundle->bundlePath() / "VKRNotification.bundle" /
                                           "beep.wav");
  if (!sound) return;
  const int remaining = count - 1;
  // The completion keeps the sound until it has played.
  (*sound)->play([sound = *sound, remaining] {
    if (remaining >= 1) playBeep(remaining);
  });
}
