#pragma once

// A getter and a setter of a field kept under its owner's `mutex_`, for owners with many plain
// values.

#include "platform/foundation/thread_annotations.h"

#define VKR_LOCKED_PROPERTY(Type, getter, setter, field) \
  Type getter() const {                                  \
    platform::MutexLock lock(mutex_);                    \
    return field;                                        \
  }                                                      \
  void setter(Type value) {                              \
    platform::MutexLock lock(mutex_);                    \
    field = std::move(value);                            \
  }
