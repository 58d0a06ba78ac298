#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/color.h"
#include "platform/ui/geometry.h"

namespace platform::ui {

class GestureRecognizer;
class Window;

// Which of a view's margins and sizes stretch when its superview's size changes.
enum AutoresizingMask : unsigned {
  kAutoresizingNone = 0,
  kFlexibleLeftMargin = 1 << 0,
  kFlexibleWidth = 1 << 1,
  kFlexibleRightMargin = 1 << 2,
  kFlexibleTopMargin = 1 << 3,
  kFlexibleHeight = 1 << 4,
  kFlexibleBottomMargin = 1 << 5,
};

// What changed on a view, as its observers (among them the renderer) are told.
enum class ViewChange {
  Frame,  // frame or bounds
  Hidden,
  Alpha,
  BackgroundColor,
  UserInteraction,
  Subviews,  // a subview was added, removed or reordered
  Content,   // the kind-specific content: a label's text, a button's title, ...
};

// A rectangle of the interface, in a tree of views. Plain C++ state that works without a display;
// a renderer observes it and realises it on screen. Main thread only.
class View : public std::enable_shared_from_this<View> {
 public:
  using Observer = std::function<void(View& view, ViewChange change)>;
  using ObserverId = uint64_t;

  explicit View(Rect frame = {});
  virtual ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Geometry. The frame is in the superview's coordinates; the bounds' size always equals the
  // frame's. A size change autoresizes the subviews (when autoresizesSubviews) and then runs
  // layoutSubviews().
  Rect frame() const { return frame_; }
  void setFrame(Rect frame);
  Rect bounds() const { return Rect(boundsOrigin_, frame_.size); }
  // Keeps the centre: a new size grows or shrinks the frame around it.
  void setBounds(Rect bounds);
  Point center() const { return frame_.center(); }
  void setCenter(Point center);

  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  double alpha() const { return alpha_; }
  void setAlpha(double alpha);  // clamped to [0, 1]
  Color backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(Color color);
  // Whether what lies behind the view's frame can't show through it: the view is shown, fully
  // opaque, and has an opaque background or a subview that covers its bounds so.
  bool coversItsFrame() const;
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque) { opaque_ = opaque; }
  bool clipsToBounds() const { return clipsToBounds_; }
  void setClipsToBounds(bool clips) { clipsToBounds_ = clips; }
  unsigned autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool value) { autoresizesSubviews_ = value; }
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled);
  int64_t tag() const { return tag_; }
  void setTag(int64_t tag) { tag_ = tag; }

  // The tree. Subviews are ordered back to front. Adding a view that has another superview moves
  // it; adding a view to itself or to one of its own descendants is refused (answers false).
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  std::shared_ptr<View> superview() const { return superview_.lock(); }
  bool addSubview(const std::shared_ptr<View>& view);
  bool insertSubview(const std::shared_ptr<View>& view, size_t index);
  void removeFromSuperview();
  void bringSubviewToFront(const std::shared_ptr<View>& view);
  void sendSubviewToBack(const std::shared_ptr<View>& view);
  // This view or the first descendant (depth first, back to front) with the tag; null when none.
  std::shared_ptr<View> viewWithTag(int64_t tag);
  bool isDescendantOf(const View& ancestor) const;
  // The window at the root of this view's tree; null when the tree has none.
  std::shared_ptr<Window> window();

  // Gesture recognizers, in the order added; a recognizer belongs to one view at a time.
  const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const {
    return gestureRecognizers_;
  }
  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);

  // Converts a rectangle in this view's coordinates to another view's (its window's coordinates
  // when `to` is null). Both views must share a root for the answer to mean anything.
  Rect convertRect(Rect rect, const View* to) const;

  // Called after the size changed and the subviews were autoresized; subclasses place their
  // subviews here.
  virtual void layoutSubviews() {}

  ObserverId addObserver(Observer observer);
  void removeObserver(ObserverId id);

 protected:
  // Tells the observers; subclasses call it with ViewChange::Content.
  void notify(ViewChange change);
  // Sets a kind-specific field and tells the observers when it changed.
  template <typename T, typename U>
  void setContent(T& field, U&& value) {
    if (field == value) return;
    field = std::forward<U>(value);
    notify(ViewChange::Content);
  }

 private:
  void autoresizeSubviews(Size oldSize);
  void detach(View& child);
  // The top-left corner of this view's bounds in root coordinates.
  Point originInRoot() const;

  Rect frame_;
  Point boundsOrigin_;
  bool hidden_ = false;
  double alpha_ = 1;
  Color backgroundColor_ = Color::clear();
  bool opaque_ = true;
  bool clipsToBounds_ = false;
  unsigned autoresizingMask_ = kAutoresizingNone;
  bool autoresizesSubviews_ = true;
  bool userInteractionEnabled_ = true;
  int64_t tag_ = 0;
  std::vector<std::shared_ptr<View>> subviews_;
  std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers_;
  std::weak_ptr<View> superview_;
  std::vector<std::pair<ObserverId, Observer>> observers_;
  ObserverId nextObserverId_ = 1;
};

}  // namespace platform::ui
