#pragma once

#include <functional>
#include <memory>

namespace platform::ui {

class View;

enum class GestureRecognizerState {
  Possible = 0,
  Began = 1,
  Changed = 2,
  Ended = 3,
  Cancelled = 4,
  Failed = 5,
};

// Recognises a gesture on the view it is added to and runs its action at each change of state.
// Who watches the user's input (a renderer, or a test) reports the gesture through setState().
// The desktop renderer realises no gesture recognizers: they are kept in the view model. Main
// thread only.
class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
 public:
  using Action = std::function<void(GestureRecognizer& recognizer)>;

  explicit GestureRecognizer(Action action) : action_(std::move(action)) {}
  virtual ~GestureRecognizer() = default;

  GestureRecognizerState state() const { return state_; }
  // Enters the state and runs the action (unless disabled).
  void setState(GestureRecognizerState state);
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  // The view it was added to; null when none.
  std::shared_ptr<View> view() const { return view_.lock(); }

 private:
  friend class View;
  Action action_;
  GestureRecognizerState state_ = GestureRecognizerState::Possible;
  bool enabled_ = true;
  std::weak_ptr<View> view_;
};

// A press held at least minimumPressDuration seconds without moving more than allowableMovement
// points.
class LongPressGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  double minimumPressDuration() const { return minimumPressDuration_; }
  void setMinimumPressDuration(double seconds) { minimumPressDuration_ = seconds; }
  double allowableMovement() const { return allowableMovement_; }
  void setAllowableMovement(double points) { allowableMovement_ = points; }

 private:
  double minimumPressDuration_ = 0.5;
  double allowableMovement_ = 10;
};

}  // namespace platform::ui
