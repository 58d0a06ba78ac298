#pragma once

#include <algorithm>
#include <compare>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// A minimum heap ordered by a three-way comparator (by default the elements' own <=>). Not
// thread-safe: its owner confines it to one queue.
template <typename T>
class ZADBinaryHeap {
 public:
  using Comparator = std::function<std::weak_ordering(const T&, const T&)>;

  ZADBinaryHeap() : compare_([](const T& a, const T& b) { return std::weak_order(a, b); }) {}
  explicit ZADBinaryHeap(Comparator comparator) : compare_(std::move(comparator)) {}

  void addObject(T object) {
    elements_.push_back(std::move(object));
    std::push_heap(elements_.begin(), elements_.end(), greater());
  }
  // Whether some element compares equal to the object.
  bool containsObject(const T& object) const {
    return std::any_of(elements_.begin(), elements_.end(),
                       [&](const T& element) { return compare_(element, object) == 0; });
  }
  size_t count() const { return elements_.size(); }
  // Nothing when empty.
  const T* minimum() const { return elements_.empty() ? nullptr : &elements_.front(); }
  std::optional<T> removedMinimum() {
    if (elements_.empty()) return std::nullopt;
    std::pop_heap(elements_.begin(), elements_.end(), greater());
    T minimum = std::move(elements_.back());
    elements_.pop_back();
    return minimum;
  }
  // Every element, from the minimum to the maximum.
  std::vector<T> sortedObjects() const {
    std::vector<T> sorted = elements_;
    std::sort(sorted.begin(), sorted.end(),
              [this](const T& a, const T& b) { return compare_(a, b) < 0; });
    return sorted;
  }

 private:
  // The standard heap algorithms keep the largest first; ordering by "greater" keeps the least.
  auto greater() const {
    return [this](const T& a, const T& b) { return compare_(a, b) > 0; };
  }

  Comparator compare_;
  std::vector<T> elements_;
};
