#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/ui/alert.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"

namespace platform::ui::gtk {

// Realises the view model on the display: a GtkWindow per visible window, each view a fixed-
// position container at its frame (background colour, alpha, visibility and sensitivity follow
// the model) holding its kind's widget (label, button, image, spinner, toolbar; a web view's own
// widget), alerts as modal message dialogs. What the user does to a window becomes the
// application's life cycle: shown or focused → active, focus lost → inactive, minimised →
// background, restored → active again, closed → terminate. One renderer at a time; main thread.
class Renderer final : public Alert::Presenter {
 public:
  // Opens the display and starts realising the application's windows and alerts.
  static Result<std::shared_ptr<Renderer>> install();
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // The widgets realising a window, a view and an alert; null when not realised.
  GtkWindow* gtkWindow(const Window& window) const;
  GtkWidget* widget(const View& view) const;
  GtkWidget* dialog(const Alert& alert) const;

  void showAlert(const std::shared_ptr<Alert>& alert) override;
  void closeAlert(const Alert& alert) override;

 private:
  struct Node;
  struct WindowEntry;
  Renderer();

  void realizeWindow(const std::shared_ptr<Window>& window);
  std::unique_ptr<Node> realize(const std::shared_ptr<View>& view, GtkWidget* parentBox);
  void unrealize(Node& node);
  void update(Node& node, ViewChange change);
  void placeBox(Node& node);
  void syncChildren(Node& node);
  void syncContent(Node& node);
  Node* find(const View& view) const;
  // The widgets of the view's content and subviews that lie wholly behind an opaque subview.
  std::vector<GtkWidget*> coveredWidgets(const View& view) const;

  static gboolean onBoxDraw(GtkWidget* box, cairo_t* cr, gpointer data);
  static gboolean onWindowDelete(GtkWidget*, GdkEvent*, gpointer);
  static gboolean onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer);
  static void onWindowActive(GObject*, GParamSpec*, gpointer);
  static void onWindowMapped(GtkWidget*, gpointer);
  static void onRootAllocated(GtkWidget*, GdkRectangle* allocation, gpointer);

  std::vector<std::unique_ptr<WindowEntry>> windows_;
  std::map<const View*, Node*> nodes_;
  std::map<const Alert*, GtkWidget*> dialogs_;
};

}  // namespace platform::ui::gtk
