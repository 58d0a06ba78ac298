#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/foundation/thread_annotations.h"

namespace platform::ui {

// Type identifiers of pasteboard items.
inline constexpr const char* kPasteboardTypeUTF8PlainText = "public.utf8-plain-text";
inline constexpr const char* kPasteboardTypeText = "public.text";

// The app's general pasteboard: one item of text under a type identifier. It is the app's own
// (it does not reach the desktop's clipboard). Thread-safe.
class Pasteboard {
 public:
  static Pasteboard& general();

  // The item when it is text (any of the text types); nothing when empty or not text.
  std::optional<std::string> string() const;
  // Replaces the pasteboard's content with the text as plain UTF-8 text.
  void setString(std::string text) { setValue(std::move(text), kPasteboardTypeUTF8PlainText); }
  // Replaces the pasteboard's content with one item of the type.
  void setValue(std::string value, std::string type);
  // The item's value when it has the type.
  std::optional<std::string> valueForType(std::string_view type) const;

 private:
  mutable platform::Mutex mutex_;
  std::optional<std::pair<std::string, std::string>> item_ VKR_GUARDED_BY(mutex_);  // type, value
};

}  // namespace platform::ui
