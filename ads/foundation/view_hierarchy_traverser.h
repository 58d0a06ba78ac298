#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/dispatch/queue.h"
#include "platform/ui/view.h"

// Walks a view tree for the content capture without holding the main thread for the whole walk:
// the tree is read at once, then each view is visited in its own main-queue turn, by way of a
// low-priority serial queue, and the completion follows the last visit. One walk at a time.
// Main thread only (its queue only hops back to it).
class ZADViewHierarchyTraverser : public std::enable_shared_from_this<ZADViewHierarchyTraverser> {
 public:
  using TraversalBlock =
      std::function<void(const std::shared_ptr<platform::ui::View>& view, int64_t sequenceNumber)>;
  using CompletionBlock = std::function<void(bool finished)>;

  static std::shared_ptr<ZADViewHierarchyTraverser> make();

  // Visits the root and its descendants, each before its subviews, later subviews first (views
  // gone by their turn are skipped), numbering the walk (1, 2, ...). A walk asked for while one
  // runs, or without a root or blocks, completes with false at once (in a later turn).
  void traverseView(const std::shared_ptr<platform::ui::View>& root, TraversalBlock traversal,
                    CompletionBlock completion);

  bool traversing() const { return traversing_; }
  void setTraversing(bool traversing) { traversing_ = traversing; }
  int64_t sequenceNumber() const { return sequenceNumber_; }

 private:
  ZADViewHierarchyTraverser();

  const platform::QueuePtr lowPriorityQueue_;
  bool traversing_ = false;
  int64_t sequenceNumber_ = 0;
};
