#include "platform/ui/view.h"

#include <algorithm>
#include <cstdint>

#include "platform/dispatch/main_thread_check.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/window.h"

namespace platform::ui {

namespace {

// Spreads a change of the superview's extent along one axis over the flexible parts of a
// subview's (leading margin, size, trailing margin), in proportion to their current extents (or
// evenly when they are all zero), so that e.g. a view with both margins flexible stays centred.
void stretchAxis(double delta, double oldExtent, bool flexLead, bool flexSize, bool flexTrail,
                 double& position, double& size) {
  const double lead = position;
  const double trail = oldExtent - position - size;
  double flexible = 0;
  int count = 0;
  if (flexLead) flexible += std::max(lead, 0.0), ++count;
  if (flexSize) flexible += std::max(size, 0.0), ++count;
  if (flexTrail) flexible += std::max(trail, 0.0), ++count;
  if (count == 0 || delta == 0) return;
  auto share = [&](double part) {
    return flexible > 0 ? delta * std::max(part, 0.0) / flexible : delta / count;
  };
  if (flexLead) position += share(lead);
  if (flexSize) size = std::max(0.0, size + share(size));
}

}  // namespace

View::View(Rect frame) : frame_(frame) {}

View::~View() = default;

void View::setFrame(Rect frame) {
  VKR_ASSERT_MAIN_THREAD();
  if (frame == frame_) return;
  const Size oldSize = frame_.size;
  frame_ = frame;
  notify(ViewChange::Frame);
  if (oldSize != frame_.size) {
    autoresizeSubviews(oldSize);
    layoutSubviews();
  }
}

void View::setBounds(Rect bounds) {
  const Point c = center();
  boundsOrigin_ = bounds.origin;
  setFrame(
      Rect(c.x - bounds.width() / 2, c.y - bounds.height() / 2, bounds.width(), bounds.height()));
}

void View::setCenter(Point center) {
  setFrame(Rect(Point{center.x - frame_.width() / 2, center.y - frame_.height() / 2}, frame_.size));
}

void View::setHidden(bool hidden) {
  if (hidden == hidden_) return;
  hidden_ = hidden;
  notify(ViewChange::Hidden);
}

void View::setAlpha(double alpha) {
  alpha = std::clamp(alpha, 0.0, 1.0);
  if (alpha == alpha_) return;
  alpha_ = alpha;
  notify(ViewChange::Alpha);
}

void View::setBackgroundColor(Color color) {
  if (color == backgroundColor_) return;
  backgroundColor_ = color;
  notify(ViewChange::BackgroundColor);
}

bool View::coversItsFrame() const {
  if (hidden_ || alpha_ < 1) return false;
  if (backgroundColor_.alpha >= 1) return true;
  const Rect own = bounds();
  return std::any_of(subviews_.begin(), subviews_.end(), [&](const std::shared_ptr<View>& view) {
    return view->frame().contains(own) && view->coversItsFrame();
  });
}

void View::setUserInteractionEnabled(bool enabled) {
  if (enabled == userInteractionEnabled_) return;
  userInteractionEnabled_ = enabled;
  notify(ViewChange::UserInteraction);
}

bool View::addSubview(const std::shared_ptr<View>& view) { return insertSubview(view, SIZE_MAX); }

bool View::insertSubview(const std::shared_ptr<View>& view, size_t index) {
  VKR_ASSERT_MAIN_THREAD();
  if (!view || view.get() == this || isDescendantOf(*view)) return false;
  if (auto old = view->superview()) old->detach(*view);
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
  view->superview_ = weak_from_this();
  notify(ViewChange::Subviews);
  return true;
}

void View::removeFromSuperview() {
  VKR_ASSERT_MAIN_THREAD();
  if (auto parent = superview()) parent->detach(*this);
}

void View::detach(View& child) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [&](const std::shared_ptr<View>& v) { return v.get() == &child; });
  if (it == subviews_.end()) return;
  // Keep the child alive until it knows it is detached.
  std::shared_ptr<View> keep = *it;
  subviews_.erase(it);
  keep->superview_.reset();
  notify(ViewChange::Subviews);
}

void View::bringSubviewToFront(const std::shared_ptr<View>& view) {
  if (view && view->superview().get() == this) insertSubview(view, SIZE_MAX);
}

void View::sendSubviewToBack(const std::shared_ptr<View>& view) {
  if (view && view->superview().get() == this) insertSubview(view, 0);
}

std::shared_ptr<View> View::viewWithTag(int64_t tag) {
  if (tag_ == tag) return shared_from_this();
  for (const auto& child : subviews_) {
    if (auto found = child->viewWithTag(tag)) return found;
  }
  return nullptr;
}

bool View::isDescendantOf(const View& ancestor) const {
  for (const View* v = this; v; v = v->superview_.lock().get()) {
    if (v == &ancestor) return true;
  }
  return false;
}

std::shared_ptr<Window> View::window() {
  std::shared_ptr<View> root = shared_from_this();
  while (auto parent = root->superview()) root = parent;
  return std::dynamic_pointer_cast<Window>(root);
}

Point View::originInRoot() const {
  Point origin{-boundsOrigin_.x, -boundsOrigin_.y};
  const View* v = this;
  while (auto parent = v->superview()) {
    origin.x += v->frame_.x() - parent->boundsOrigin_.x;
    origin.y += v->frame_.y() - parent->boundsOrigin_.y;
    v = parent.get();
  }
  return origin;
}

Rect View::convertRect(Rect rect, const View* to) const {
  const Point from = originInRoot();
  const Point target = to ? to->originInRoot() : Point{};
  return Rect(Point{rect.x() + from.x - target.x, rect.y() + from.y - target.y}, rect.size);
}

void View::autoresizeSubviews(Size oldSize) {
  if (!autoresizesSubviews_) return;
  const double dw = frame_.width() - oldSize.width;
  const double dh = frame_.height() - oldSize.height;
  // Copy: a subview's layout may reorder this view's subviews.
  const auto children = subviews_;
  for (const auto& child : children) {
    const unsigned mask = child->autoresizingMask_;
    if (mask == kAutoresizingNone) continue;
    Rect f = child->frame_;
    stretchAxis(dw, oldSize.width, mask & kFlexibleLeftMargin, mask & kFlexibleWidth,
                mask & kFlexibleRightMargin, f.origin.x, f.size.width);
    stretchAxis(dh, oldSize.height, mask & kFlexibleTopMargin, mask & kFlexibleHeight,
                mask & kFlexibleBottomMargin, f.origin.y, f.size.height);
    child->setFrame(f);
  }
}

View::ObserverId View::addObserver(Observer observer) {
  VKR_ASSERT_MAIN_THREAD();
  const ObserverId id = nextObserverId_++;
  observers_.emplace_back(id, std::move(observer));
  return id;
}

void View::removeObserver(ObserverId id) {
  std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void View::notify(ViewChange change) {
  // Copy: an observer may add or remove observers.
  const auto observers = observers_;
  for (const auto& [id, observer] : observers) observer(*this, change);
}

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer) return;
  if (std::shared_ptr<View> owner = recognizer->view()) owner->removeGestureRecognizer(recognizer);
  gestureRecognizers_.push_back(recognizer);
  recognizer->view_ = weak_from_this();
}

void View::removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  const size_t before = gestureRecognizers_.size();
  std::erase(gestureRecognizers_, recognizer);
  if (gestureRecognizers_.size() != before) recognizer->view_.reset();
}

}  // namespace platform::ui
