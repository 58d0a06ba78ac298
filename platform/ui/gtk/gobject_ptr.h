#pragma once

#include <glib-object.h>

#include <memory>

namespace platform::ui::gtk {

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object) g_object_unref(object);
  }
};

// An owned reference to a GObject.
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Takes over a reference the caller owns (a "transfer full" answer).
template <typename T>
GObjectPtr<T> adoptGObject(T* object) {
  return GObjectPtr<T>(object);
}

// Takes a new reference; floating references are sunk, so the pointer owns the object.
template <typename T>
GObjectPtr<T> refGObject(T* object) {
  return GObjectPtr<T>(object ? static_cast<T*>(g_object_ref_sink(object)) : nullptr);
}

}  // namespace platform::ui::gtk
