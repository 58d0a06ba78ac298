#include "platform/ui/alert.h"

#include <algorithm>

#include "platform/dispatch/main_thread_check.h"
#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace platform::ui {

namespace {

std::vector<std::shared_ptr<Alert>>& visible() {
  static auto* alerts = new std::vector<std::shared_ptr<Alert>>();  // lives as long as the process
  return *alerts;
}

Alert::Presenter*& presenter() {
  static Alert::Presenter* current = nullptr;
  return current;
}

}  // namespace

Alert::Alert(std::string title, std::string message)
    : title_(std::move(title)), message_(std::move(message)) {}

Alert::~Alert() = default;

size_t Alert::addAction(std::string title, ActionStyle style, std::function<void()> handler) {
  actions_.push_back({std::move(title), style, std::move(handler)});
  return actions_.size() - 1;
}

size_t Alert::addTextField(TextField field) {
  textFields_.push_back(std::move(field));
  return textFields_.size() - 1;
}

void Alert::setTextFieldText(size_t index, std::string text) {
  if (index < textFields_.size()) textFields_[index].text = std::move(text);
}

int Alert::cancelActionIndex() const {
  auto it = std::find_if(actions_.begin(), actions_.end(),
                         [](const Action& a) { return a.style == ActionStyle::Cancel; });
  return it == actions_.end() ? -1 : static_cast<int>(it - actions_.begin());
}

void Alert::show() {
  VKR_ASSERT_MAIN_THREAD();
  if (visible_) return;
  if (auto window = Application::shared().keyWindow()) {
    auto top = window->rootViewController();
    while (top && top->presentedViewController()) top = top->presentedViewController();
    if (top && top->presentViewController(std::static_pointer_cast<Alert>(shared_from_this()), true,
                                          nullptr)) {
      return;
    }
  }
  appear();
}

bool Alert::answer(size_t actionIndex) {
  VKR_ASSERT_MAIN_THREAD();
  if (!visible_ || actionIndex >= actions_.size()) return false;
  auto self = std::static_pointer_cast<Alert>(shared_from_this());
  // Its presenter dismisses it (with whatever it presents in turn): asked of the alert itself,
  // a dismissal would only take down what the alert presents.
  if (auto presenting = presentingViewController()) {
    presenting->dismissViewController(true, nullptr);
  } else {
    disappear();
  }
  if (actions_[actionIndex].handler) actions_[actionIndex].handler();
  if (answerHandler_) answerHandler_(actionIndex);
  return true;
}

void Alert::showPresented(Window&) { appear(); }

void Alert::hidePresented() { disappear(); }

void Alert::appear() {
  visible_ = true;
  auto self = std::static_pointer_cast<Alert>(shared_from_this());
  visible().push_back(self);
  if (presenter()) presenter()->showAlert(self);
}

void Alert::disappear() {
  if (!visible_) return;
  visible_ = false;
  // Keep this alert alive until it is off the list and the presenter let go of it.
  auto self = shared_from_this();
  std::erase_if(visible(), [this](const auto& alert) { return alert.get() == this; });
  if (presenter()) presenter()->closeAlert(*this);
}

std::vector<std::shared_ptr<Alert>> Alert::visibleAlerts() { return visible(); }

void Alert::setPresenter(Presenter* current) { presenter() = current; }

}  // namespace platform::ui
