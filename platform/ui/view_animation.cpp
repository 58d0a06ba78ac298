#include "platform/ui/view_animation.h"

#include <algorithm>

namespace platform::ui {

namespace {

constexpr Duration kFrame = std::chrono::milliseconds(16);

struct Fade {
  std::vector<std::weak_ptr<View>> views;
  std::vector<double> from;
  double to = 0;
  MonotonicTime start;
  Duration duration{};
  std::function<void()> completion;
  Timer timer;

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

}  // namespace

Timer animateAlpha(std::vector<std::weak_ptr<View>> views, double alpha, Duration duration,
                   std::function<void()> completion) {
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
      if (fade->completion) fade->completion();
    });
    return Timer();
  }
  // The timer's work holds the fade until its last step.
  fade->timer = scheduleRepeating(kFrame, mainQueue(), [fade] {
    if (!fade->step()) return;
    fade->timer.cancel();
    if (auto completion = std::exchange(fade->completion, nullptr)) completion();
  });
  return fade->timer;
}

}  // namespace platform::ui
