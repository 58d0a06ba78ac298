#include "ads/foundation/block_timer.h"

#include <memory>

platform::Timer zad_scheduledTimerWithTimeInterval(double interval, bool repeats,
                                                   double /*tolerance*/,
                                                   std::function<void()> block) {
  auto target = std::make_shared<ZADBlockTimerTarget>(std::move(block));
  platform::Work fire = [target] { target->timerFired(); };
  const platform::Duration delay = platform::seconds(interval);
  return repeats ? platform::scheduleRepeating(delay, platform::mainQueue(), std::move(fire))
                 : platform::dispatchAfter(delay, platform::mainQueue(), std::move(fire));
}
