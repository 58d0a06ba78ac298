#include "platform/ui/pasteboard.h"

namespace platform::ui {

namespace {

bool isTextType(std::string_view type) {
  return type == kPasteboardTypeUTF8PlainText || type == kPasteboardTypeText ||
         type == "public.plain-text";
}

}  // namespace

Pasteboard& Pasteboard::general() {
  static Pasteboard* pasteboard = new Pasteboard();
  return *pasteboard;
}

std::optional<std::string> Pasteboard::string() const {
  platform::MutexLock lock(mutex_);
  if (!item_ || !isTextType(item_->first)) return std::nullopt;
  return item_->second;
}

void Pasteboard::setValue(std::string value, std::string type) {
  platform::MutexLock lock(mutex_);
  item_.emplace(std::move(type), std::move(value));
}

std::optional<std::string> Pasteboard::valueForType(std::string_view type) const {
  platform::MutexLock lock(mutex_);
  if (!item_ || item_->first != type) return std::nullopt;
  return item_->second;
}

}  // namespace platform::ui
