#include "toolbox/ui/ui_localizer.h"

#include "platform/ui/label.h"

using platform::ui::Button;
using platform::ui::ControlState;
using platform::ui::Label;
using platform::ui::Toolbar;
using platform::ui::View;
using platform::ui::ViewController;

namespace {

bool isEmpty(const ZTMLocalizable& object) {
  if (const auto* controller = std::get_if<std::weak_ptr<ViewController>>(&object)) {
    return controller->expired();
  }
  if (const auto* view = std::get_if<std::weak_ptr<View>>(&object)) return view->expired();
  return true;
}

}  // namespace

std::shared_ptr<const platform::Bundle> ZSDK_ZTMUILocalizer::bundleForOwner(
    const ZTMLocalizable& owner) {
  return isEmpty(owner) ? nullptr : platform::Bundle::mainBundle();
}

void ZSDK_ZTMUILocalizer::awakeFromNib() {
  if (!isEmpty(owner_)) {
    bundle_ = bundleForOwner(owner_);
    localizeObject(owner_, true);
    localizeObject(otherObject_, true);
    localizeObject(yetAnotherObject_, true);
  }
  owner_ = otherObject_ = yetAnotherObject_ = std::monostate();
}

std::optional<std::string> ZSDK_ZTMUILocalizer::localizedStringForString(
    std::string_view text) const {
  if (!bundle_ || !text.starts_with('^')) return std::nullopt;
  return bundle_->localizedStringIfPresent(text.substr(1));
}

void ZSDK_ZTMUILocalizer::localizeObject(const ZTMLocalizable& object, bool recursively) {
  if (const auto* weakController = std::get_if<std::weak_ptr<ViewController>>(&object)) {
    if (std::shared_ptr<ViewController> controller = weakController->lock()) {
      if (std::shared_ptr<View> view = controller->view()) localizeView(*view, recursively);
    }
    return;
  }
  const auto* weakView = std::get_if<std::weak_ptr<View>>(&object);
  std::shared_ptr<View> view = weakView ? weakView->lock() : nullptr;
  if (!view) return;
  if (auto* toolbar = dynamic_cast<Toolbar*>(view.get())) {
    localizeToolbar(*toolbar);
  } else {
    localizeView(*view, recursively);
  }
}

void ZSDK_ZTMUILocalizer::localizeView(View& view, bool recursively) {
  if (recursively) {
    // A copy: localizing never changes the tree, but a subview's observers might.
    const std::vector<std::shared_ptr<View>> subviews = view.subviews();
    for (const std::shared_ptr<View>& subview : subviews) {
      localizeObject(std::weak_ptr<View>(subview), true);
    }
  }
  if (auto* button = dynamic_cast<Button*>(&view)) localizeButton(*button);
  if (auto* label = dynamic_cast<Label*>(&view)) {
    if (std::optional<std::string> text = localizedStringForString(label->text())) {
      label->setText(std::move(*text));
    }
  }
}

void ZSDK_ZTMUILocalizer::localizeToolbar(Toolbar& toolbar) {
  for (const auto& item : toolbar.items()) {
    if (std::optional<std::string> title = localizedStringForString(item->title())) {
      item->setTitle(std::move(*title));
    }
  }
}

void ZSDK_ZTMUILocalizer::localizeButton(Button& button) {
  for (ControlState state : {ControlState::Normal, ControlState::Highlighted,
                             ControlState::Disabled, ControlState::Selected}) {
    if (std::optional<std::string> title = localizedStringForString(button.title(state))) {
      button.setTitle(std::move(*title), state);
    }
  }
}
