#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/ui/view.h"

namespace platform::ui {

// An animation in progress. cancel() stops it where it is, without completing; owners cancel it
// when they go, so that no step outlives them. Dropping the handle does not cancel. Main thread.
class Animation {
 public:
  virtual ~Animation() = default;
  void cancel() { cancelled_ = true; }
  bool isCancelled() const { return cancelled_; }

 private:
  bool cancelled_ = false;
};

// Fades views from their alpha to `alpha` in even steps (about 60 a second, on timers of the
// main queue, so the clock in use drives them), then runs the completion. A view gone meanwhile
// is skipped; a zero duration sets the alpha at once and completes on a later turn. Main thread.
std::shared_ptr<Animation> animateAlpha(std::vector<std::weak_ptr<View>> views, double alpha,
                                        Duration duration, std::function<void()> completion);

}  // namespace platform::ui
