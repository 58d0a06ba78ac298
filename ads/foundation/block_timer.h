#pragma once

#include <functional>

#include "platform/dispatch/timer.h"

// The target of a block timer: it owns the block the timer runs.
class ZADBlockTimerTarget {
 public:
  explicit ZADBlockTimerTarget(std::function<void()> block) : block_(std::move(block)) {}
  void timerFired() const {
    if (block_) block_();
  }

 private:
  std::function<void()> block_;
};

// A timer on the main queue that runs the block once, or every interval until cancelled. The
// timer owns its target and the target the block, so callers capture themselves weakly in the
// block and the timer never keeps its owner alive. The block is not handed the timer: the caller
// keeps the returned handle to cancel it (a handle inside the block would make the timer own
// itself). The tolerance is a hint the main loop's timers do without.
platform::Timer zad_scheduledTimerWithTimeInterval(double interval, bool repeats, double tolerance,
                                                   std::function<void()> block);
