#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace platform {

// Work bound to an owner it must not outlive: the callable holds the owner weakly and, when
// called, runs the work with the owner (as `Owner&`, then the call's own arguments) only while the
// owner still lives; once the owner is gone a call does nothing. The work may be a member function
// pointer. For answers that can arrive after their owner went away (a reloaded page, a closed web
// view, a stopped timer). The answer of a non-void work is dropped.
template <typename Owner, typename Work>
auto whileAlive(std::weak_ptr<Owner> owner, Work work) {
  return [owner = std::move(owner), work = std::move(work)](auto&&... args) mutable {
    if (std::shared_ptr<Owner> alive = owner.lock()) {
      std::invoke(work, *alive, std::forward<decltype(args)>(args)...);
    }
  };
}

template <typename Owner, typename Work>
auto whileAlive(const std::shared_ptr<Owner>& owner, Work work) {
  return whileAlive(std::weak_ptr<Owner>(owner), std::move(work));
}

}  // namespace platform
