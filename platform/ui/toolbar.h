#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/view.h"

namespace platform::ui {

class Toolbar;

// An item of a toolbar: a system "Done" button, a titled button, or flexible or fixed space.
// Changes show in the toolbar that holds it.
class BarButtonItem : public std::enable_shared_from_this<BarButtonItem> {
 public:
  enum class Kind { Done, Title, FlexibleSpace, FixedSpace };
  enum class Style { Plain = 0, Bordered = 1, Done = 2 };

  static std::shared_ptr<BarButtonItem> done(std::function<void()> action);
  static std::shared_ptr<BarButtonItem> titled(std::string title, Style style,
                                               std::function<void()> action);
  static std::shared_ptr<BarButtonItem> flexibleSpace();
  static std::shared_ptr<BarButtonItem> fixedSpace(double width);

  Kind kind() const { return kind_; }
  const std::string& title() const { return title_; }
  void setTitle(std::string title);
  Style style() const { return style_; }
  double width() const { return width_; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  std::optional<Color> tintColor() const { return tintColor_; }
  void setTintColor(Color color);
  // A tap: runs the action when the item is enabled.
  void sendAction();

 private:
  friend class Toolbar;
  BarButtonItem(Kind kind, std::string title, Style style, double width,
                std::function<void()> action);
  void changed();

  Kind kind_;
  std::string title_;
  Style style_;
  double width_;
  bool enabled_ = true;
  std::optional<Color> tintColor_;
  std::function<void()> action_;
  std::weak_ptr<Toolbar> toolbar_;
};

enum class BarStyle { Default = 0, Black = 1 };

// A bar of items, laid out left to right; flexible spaces share what the others leave.
class Toolbar : public View {
 public:
  using View::View;

  const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return items_; }
  void setItems(std::vector<std::shared_ptr<BarButtonItem>> items);
  BarStyle barStyle() const { return barStyle_; }
  void setBarStyle(BarStyle style) { setContent(barStyle_, style); }

 private:
  friend class BarButtonItem;
  std::vector<std::shared_ptr<BarButtonItem>> items_;
  BarStyle barStyle_ = BarStyle::Default;
};

}  // namespace platform::ui
