#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/view_controller.h"

namespace platform::ui {

// A modal question: title, message, actions (buttons) in order and text fields. Shown by being
// presented from a controller, or on its own with show(). The user's choice (or a test's, through
// answer()) closes it and then runs the action's handler and the answer handler. While visible an
// alert is listed by visibleAlerts(), which keeps it alive. Main thread only.
class Alert final : public ViewController {
 public:
  enum class ActionStyle { Default = 0, Cancel = 1, Destructive = 2 };
  struct Action {
    std::string title;
    ActionStyle style = ActionStyle::Default;
    std::function<void()> handler;
  };
  struct TextField {
    std::string text;
    std::string placeholder;
    bool secure = false;
  };
  using AnswerHandler = std::function<void(size_t actionIndex)>;

  // What shows alerts on a display; without one they exist only in the model.
  class Presenter {
   public:
    virtual void showAlert(const std::shared_ptr<Alert>& alert) = 0;
    virtual void closeAlert(const Alert& alert) = 0;

   protected:
    ~Presenter() = default;
  };

  Alert(std::string title, std::string message);
  ~Alert() override;

  const std::string& title() const { return title_; }
  const std::string& message() const { return message_; }
  const std::vector<Action>& actions() const { return actions_; }
  const std::vector<TextField>& textFields() const { return textFields_; }

  size_t addAction(std::string title, ActionStyle style = ActionStyle::Default,
                   std::function<void()> handler = nullptr);
  size_t addTextField(TextField field);
  // What the user typed into a text field.
  void setTextFieldText(size_t index, std::string text);
  void setAnswerHandler(AnswerHandler handler) { answerHandler_ = std::move(handler); }

  // Shows the alert over the key window's topmost presented controller, or on its own when there
  // is no window.
  void show();
  bool isVisible() const { return visible_; }
  // Chooses the action: the alert closes, then the action's handler and the answer handler run.
  // Ignored (answering false) when the alert is not visible or the index is out of range.
  bool answer(size_t actionIndex);
  // The index of the first cancel-style action, or -1.
  int cancelActionIndex() const;

  static std::vector<std::shared_ptr<Alert>> visibleAlerts();
  static void setPresenter(Presenter* presenter);

 protected:
  void showPresented(Window& window) override;
  void hidePresented() override;

 private:
  void appear();
  void disappear();

  std::string title_;
  std::string message_;
  std::vector<Action> actions_;
  std::vector<TextField> textFields_;
  AnswerHandler answerHandler_;
  bool visible_ = false;
};

}  // namespace platform::ui
