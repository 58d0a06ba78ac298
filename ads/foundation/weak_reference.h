#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "platform/foundation/log.h"

// A reference that does not keep its object alive, for sets of objects they must not own. It
// remembers the object's address, so equality and hash survive the object's death.
template <typename T>
class ZADWeakReference {
 public:
  // Nothing for a null object.
  static std::optional<ZADWeakReference> make(const std::shared_ptr<T>& object) {
    if (!object) return std::nullopt;
    return ZADWeakReference(object);
  }

  std::shared_ptr<T> weakObject() const { return weakObject_.lock(); }
  const void* uniqueID() const { return uniqueID_; }
  size_t hash() const { return std::hash<const void*>()(uniqueID_); }
  bool operator==(const ZADWeakReference& other) const { return uniqueID_ == other.uniqueID_; }

  struct Hash {
    size_t operator()(const ZADWeakReference& reference) const { return reference.hash(); }
  };
  using Set = std::unordered_set<ZADWeakReference, Hash>;

  // Whether the set holds a reference to the object.
  static bool setContainsObject(const Set& set, const std::shared_ptr<T>& object) {
    auto reference = make(object);
    return reference && set.contains(*reference);
  }

  std::string description() const {
    return platform::format("<ZADWeakReference: %p weakObject:%p uniqueID:%p>",
                            static_cast<const void*>(this),
                            static_cast<const void*>(weakObject().get()), uniqueID_);
  }

 private:
  explicit ZADWeakReference(const std::shared_ptr<T>& object)
      : weakObject_(object), uniqueID_(object.get()) {}

  std::weak_ptr<T> weakObject_;
  const void* uniqueID_;
};
