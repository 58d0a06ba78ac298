#pragma once

// A callback that runs at most once, whichever thread calls it and however often it is copied.
// Completions handed to code we don't control use it: a second call does nothing, and when the
// last copy goes without having been called, the `dropped` work runs instead, so whoever waits
// for the answer still hears of it.

#include <atomic>
#include <functional>
#include <memory>

namespace platform {

template <typename... Args>
class OnceCallback {
 public:
  OnceCallback() = default;
  explicit OnceCallback(std::function<void(Args...)> run, std::function<void()> dropped = nullptr)
      : state_(std::make_shared<State>(std::move(run), std::move(dropped))) {}

  // Runs the callback unless a copy ran it before; answers whether this call ran it.
  bool operator()(Args... args) const {
    if (!state_ || state_->done.exchange(true)) return false;
    std::function<void(Args...)> run = std::move(state_->run);
    state_->dropped = nullptr;
    if (run) run(std::forward<Args>(args)...);
    return true;
  }

  bool hasRun() const { return state_ && state_->done.load(); }
  explicit operator bool() const { return state_ != nullptr; }

 private:
  struct State {
    State(std::function<void(Args...)> run, std::function<void()> dropped)
        : run(std::move(run)), dropped(std::move(dropped)) {}
    ~State() {
      if (!done.load() && dropped) dropped();
    }
    std::atomic<bool> done{false};
    std::function<void(Args...)> run;
    std::function<void()> dropped;
  };
  std::shared_ptr<State> state_;
};

}  // namespace platform
