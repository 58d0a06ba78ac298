#pragma once

#include <gtk/gtk.h>

namespace platform::ui::gtk {

// A view that is realised by a widget of its own (a web view): the renderer places that widget
// instead of making one for the view.
class NativeWidget {
 public:
  virtual GtkWidget* nativeWidget() const = 0;

 protected:
  ~NativeWidget() = default;
};

}  // namespace platform::ui::gtk
