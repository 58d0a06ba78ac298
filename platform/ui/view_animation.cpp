#include "platform/ui/view_animation.h"

#include <algorithm>

#include "platform/dispatch/timer.h"

namespace platform::ui {

namespace {

constexpr Duration kFrame = std::chrono::milliseconds(16);

struct Fade final : Animation {
  std::vector<std::weak_ptr<View>> views;
  std::vector<double> from;
  double to = 0;
  MonotonicTime start;
  Duration duration{};
  std::function<void()> completion;

  // Sets the alphas for the time now; true once the fade has ended.
  bool step() {
    const double elapsed = toSeconds(monotonicNow() - start);
    const double total = toSeconds(duration);
    const double progress = total <= 0 ? 1 : std::clamp(elapsed / total, 0.0, 1.0);
    for (size_t i = 0; i < views.size(); ++i) {
      if (auto view = views[i].lock()) view->setAlpha(from[i] + (to - from[i]) * progress);
    }
    return progress >= 1;
  }
};

// One step per frame, each timer scheduling the next, so that nothing holds the fade once it
// has ended or was cancelled.
void scheduleStep(const std::shared_ptr<Fade>& fade) {
  dispatchAfter(kFrame, mainQueue(), [fade] {
    if (fade->isCancelled()) return;
    if (!fade->step()) {
      scheduleStep(fade);
      return;
    }
    if (auto completion = std::exchange(fade->completion, nullptr)) completion();
  });
}

}  // namespace

std::shared_ptr<Animation> animateAlpha(std::vector<std::weak_ptr<View>> views, double alpha,
                                        Duration duration, std::function<void()> completion) {
  auto fade = std::make_shared<Fade>();
  for (const auto& weak : views) {
    auto view = weak.lock();
    fade->from.push_back(view ? view->alpha() : alpha);
  }
  fade->views = std::move(views);
  fade->to = alpha;
  fade->start = monotonicNow();
  fade->duration = duration;
  fade->completion = std::move(completion);
  if (duration <= Duration::zero()) {
    fade->step();
    mainQueue()->async([fade] {
      if (fade->isCancelled()) return;
      if (auto completion = std::exchange(fade->completion, nullptr)) completion();
    });
  } else {
    scheduleStep(fade);
  }
  return fade;
}

}  // namespace platform::ui
