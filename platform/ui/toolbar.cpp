#include "platform/ui/toolbar.h"

namespace platform::ui {

BarButtonItem::BarButtonItem(Kind kind, std::string title, Style style, double width,
                             std::function<void()> action)
    : kind_(kind),
      title_(std::move(title)),
      style_(style),
      width_(width),
      action_(std::move(action)) {}

std::shared_ptr<BarButtonItem> BarButtonItem::done(std::function<void()> action) {
  return std::shared_ptr<BarButtonItem>(
      new BarButtonItem(Kind::Done, "Done", Style::Done, 0, std::move(action)));
}

std::shared_ptr<BarButtonItem> BarButtonItem::titled(std::string title, Style style,
                                                     std::function<void()> action) {
  return std::shared_ptr<BarButtonItem>(
      new BarButtonItem(Kind::Title, std::move(title), style, 0, std::move(action)));
}

std::shared_ptr<BarButtonItem> BarButtonItem::flexibleSpace() {
  return std::shared_ptr<BarButtonItem>(
      new BarButtonItem(Kind::FlexibleSpace, "", Style::Plain, 0, nullptr));
}

std::shared_ptr<BarButtonItem> BarButtonItem::fixedSpace(double width) {
  return std::shared_ptr<BarButtonItem>(
      new BarButtonItem(Kind::FixedSpace, "", Style::Plain, width, nullptr));
}

void BarButtonItem::setTitle(std::string title) {
  if (title == title_) return;
  title_ = std::move(title);
  changed();
}

void BarButtonItem::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  changed();
}

void BarButtonItem::setTintColor(Color color) {
  if (tintColor_ == color) return;
  tintColor_ = color;
  changed();
}

void BarButtonItem::sendAction() {
  if (enabled_ && action_) action_();
}

void BarButtonItem::changed() {
  if (auto toolbar = toolbar_.lock()) toolbar->notify(ViewChange::Content);
}

void Toolbar::setItems(std::vector<std::shared_ptr<BarButtonItem>> items) {
  auto self = std::static_pointer_cast<Toolbar>(shared_from_this());
  for (const auto& item : items) {
    if (item) item->toolbar_ = self;
  }
  items_ = std::move(items);
  notify(ViewChange::Content);
}

}  // namespace platform::ui
