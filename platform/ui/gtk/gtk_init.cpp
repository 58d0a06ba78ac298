#include "platform/ui/gtk/gtk_init.h"

#include <gtk/gtk.h>

#include "platform/dispatch/queue.h"

namespace platform::ui::gtk {

Status initializeGtk() {
  if (!isMainThread()) {
    return Error::withDescription(kDisplayErrorDomain, kDisplayErrorNotAvailable,
                                  "GTK can only be used from the main thread");
  }
  static const bool initialized = gtk_init_check(nullptr, nullptr);
  if (!initialized) {
    return Error::withDescription(kDisplayErrorDomain, kDisplayErrorNotAvailable,
                                  "No display is available");
  }
  return okStatus();
}

}  // namespace platform::ui::gtk
