#include "ads/foundation/view_hierarchy_traverser.h"

#include <vector>

std::shared_ptr<ZADViewHierarchyTraverser> ZADViewHierarchyTraverser::make() {
  return std::shared_ptr<ZADViewHierarchyTraverser>(new ZADViewHierarchyTraverser());
}

ZADViewHierarchyTraverser::ZADViewHierarchyTraverser()
    : lowPriorityQueue_(platform::makeSerialQueue("com.zorova.zizov.view-hierarchy")) {}

void ZADViewHierarchyTraverser::traverseView(const std::shared_ptr<platform::ui::View>& root,
                                             TraversalBlock traversal, CompletionBlock completion) {
  if (!root || !traversal || !completion || traversing_) {
    if (completion) platform::mainQueue()->async([completion] { completion(false); });
    return;
  }
  traversing_ = true;
  const int64_t sequenceNumber = ++sequenceNumber_;
  auto visit = std::make_shared<TraversalBlock>(std::move(traversal));
  std::vector<std::shared_ptr<platform::ui::View>> stack{root};
  while (!stack.empty()) {
    const std::shared_ptr<platform::ui::View> current = std::move(stack.back());
    stack.pop_back();
    std::weak_ptr<platform::ui::View> view = current;
    lowPriorityQueue_->async([visit, view, sequenceNumber] {
      platform::mainQueue()->sync([&] {
        if (auto alive = view.lock()) (*visit)(alive, sequenceNumber);
      });
    });
    const auto& subviews = current->subviews();
    stack.insert(stack.end(), subviews.begin(), subviews.end());
  }
  // The queue is serial, so this follows every visit.
  lowPriorityQueue_->async([self = shared_from_this(), completion = std::move(completion)] {
    platform::mainQueue()->async([self, completion] {
      completion(true);
      self->traversing_ = false;
    });
  });
}
