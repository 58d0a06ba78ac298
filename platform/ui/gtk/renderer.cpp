#include "platform/ui/gtk/renderer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/ui/activity_indicator_view.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/gtk/cairo_image.h"
#include "platform/ui/gtk/gtk_init.h"
#include "platform/ui/gtk/native_widget.h"
#include "platform/ui/image_file.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/screen.h"
#include "platform/ui/toolbar.h"

namespace platform::ui::gtk {

namespace {

Renderer* current = nullptr;

int px(double points) { return static_cast<int>(std::lround(points)); }

// The image an image view's drawing area shows, as a surface like the window's, made on its first
// draw and kept with the area: a redraw then copies no pixels (on X11 the pixels stay on the
// display's side, so nothing is uploaded again either). An image file is decoded for it and its
// pixels dropped again. It goes with the area, or when the view shows another image.
class DrawnImage {
 public:
  static constexpr const char* kKey = "vokaru-drawn-image";

  ~DrawnImage() {
    if (surface_) cairo_surface_destroy(surface_);
  }
  DrawnImage(const DrawnImage&) = delete;
  DrawnImage& operator=(const DrawnImage&) = delete;

  // The area's drawing of what the view shows, made when it has none for it; null when there is
  // nothing to draw (a file that can't be decoded is tried once).
  static const DrawnImage* of(GtkWidget* area, const ImageView& view) {
    auto* drawn = static_cast<DrawnImage*>(g_object_get_data(G_OBJECT(area), kKey));
    if (!drawn || !drawn->shows(view)) {
      GdkWindow* window = gtk_widget_get_window(area);
      if (!window) return nullptr;
      drawn = new DrawnImage(view);
      if (view.image()) {
        drawn->draw(*view.image(), window);
      } else {
        drawn->draw(view.imageFile(), window);
      }
      g_object_set_data_full(G_OBJECT(area), kKey, drawn,
                             [](gpointer data) { delete static_cast<DrawnImage*>(data); });
    }
    return drawn->surface_ ? drawn : nullptr;
  }

  cairo_surface_t* surface() const { return surface_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  explicit DrawnImage(const ImageView& view) : image_(view.image()), file_(view.imageFile()) {}

  bool shows(const ImageView& view) const {
    const std::shared_ptr<const Image> image = view.image();
    return image ? image_.lock() == image : image_.expired() && file_ == view.imageFile();
  }

  void draw(const Image& image, GdkWindow* window) {
    if (image.isEmpty()) return;
    width_ = image.width;
    height_ = image.height;
    surface_ =
        gdk_window_create_similar_surface(window, CAIRO_CONTENT_COLOR_ALPHA, width_, height_);
    cairo_surface_t* pixels = surfaceFromImage(image);
    cairo_t* cr = cairo_create(surface_);
    cairo_set_source_surface(cr, pixels, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(pixels);
  }

  // The decoded pixels go again once they are in the surface.
  void draw(const ImageFile& file, GdkWindow* window) {
    if (file.isEmpty()) return;
    const Result<Image> image = readImageFile(file.path);
    if (!image.ok()) {
      logf("WARNING: The image file can't be shown: %s", image.error().description().c_str());
      return;
    }
    draw(*image, window);
  }

  std::weak_ptr<const Image> image_;
  ImageFile file_;
  cairo_surface_t* surface_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

gboolean drawImage(GtkWidget* area, cairo_t* cr, gpointer data) {
  auto view = std::dynamic_pointer_cast<ImageView>(static_cast<std::weak_ptr<View>*>(data)->lock());
  if (!view) return FALSE;
  const DrawnImage* drawn = DrawnImage::of(area, *view);
  if (!drawn) return FALSE;
  const double width = gtk_widget_get_allocated_width(area);
  const double height = gtk_widget_get_allocated_height(area);
  cairo_translate(cr, width / 2, height / 2);
  cairo_rotate(cr, view->rotation());
  cairo_scale(cr, width / drawn->width(), height / drawn->height());
  cairo_set_source_surface(cr, drawn->surface(), -drawn->width() / 2.0, -drawn->height() / 2.0);
  cairo_paint(cr);
  return FALSE;
}

void applyLabel(GtkLabel* widget, const Label& label) {
  gtk_label_set_text(widget, label.text().c_str());
  const double align[] = {0.0, 0.5, 1.0};
  gtk_label_set_xalign(widget, static_cast<float>(align[static_cast<int>(label.textAlignment())]));
  const bool single = label.numberOfLines() == 1;
  gtk_label_set_line_wrap(widget, !single);
  gtk_label_set_lines(widget, label.numberOfLines() > 0 ? label.numberOfLines() : -1);
  gtk_label_set_ellipsize(widget,
                          label.numberOfLines() > 0 ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
  const Color c = label.textColor();
  auto channel = [](double v) { return static_cast<guint16>(std::clamp(v, 0.0, 1.0) * 65535); };
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(
      attributes, pango_attr_foreground_new(channel(c.red), channel(c.green), channel(c.blue)));
  pango_attr_list_insert(attributes, pango_attr_foreground_alpha_new(channel(c.alpha)));
  pango_attr_list_insert(
      attributes, pango_attr_size_new_absolute(static_cast<int>(label.fontSize() * PANGO_SCALE)));
  gtk_label_set_attributes(widget, attributes);
  pango_attr_list_unref(attributes);
}

// A spinner drawn by the toolkit itself: the theme's spinner is an SVG icon, and the SVG
// library that draws it adds megabytes to the process for one small picture.
GtkWidget* newSpinner() {
  static GtkCssProvider* const provider = [] {
    GtkCssProvider* made = gtk_css_provider_new();
    gtk_css_provider_load_from_data(made, "spinner { -gtk-icon-source: builtin; }", -1, nullptr);
    return made;
  }();
  GtkWidget* spinner = gtk_spinner_new();
  gtk_style_context_add_provider(gtk_widget_get_style_context(spinner),
                                 GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  return spinner;
}

GdkPixbuf* pixbufOf(const Image& image) {
  if (image.isEmpty()) return nullptr;
  GBytes* bytes = g_bytes_new(image.rgba.data(), image.rgba.size());
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_bytes(bytes, GDK_COLORSPACE_RGB, TRUE, 8, image.width,
                                                image.height, image.width * 4);
  g_bytes_unref(bytes);
  return pixbuf;
}

void applyButton(GtkButton* widget, const Button& button) {
  const ControlState state = button.isEnabled() ? ControlState::Normal : ControlState::Disabled;
  gtk_button_set_label(widget, button.title(state).c_str());
  GtkWidget* picture = nullptr;
  if (auto image = button.image(state)) {
    if (GdkPixbuf* pixbuf = pixbufOf(*image)) {
      picture = gtk_image_new_from_pixbuf(pixbuf);
      g_object_unref(pixbuf);
    }
  }
  gtk_button_set_image(widget, picture);
  gtk_widget_set_sensitive(GTK_WIDGET(widget), button.isEnabled());
}

void rebuildToolbar(GtkWidget* bar, const Toolbar& toolbar) {
  gtk_container_foreach(
      GTK_CONTAINER(bar), [](GtkWidget* child, gpointer) { gtk_widget_destroy(child); }, nullptr);
  for (const auto& item : toolbar.items()) {
    if (!item) continue;
    GtkWidget* widget = nullptr;
    switch (item->kind()) {
      case BarButtonItem::Kind::FlexibleSpace:
        widget = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
        gtk_widget_set_hexpand(widget, TRUE);
        break;
      case BarButtonItem::Kind::FixedSpace:
        widget = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
        gtk_widget_set_size_request(widget, px(item->width()), -1);
        break;
      case BarButtonItem::Kind::Done:
      case BarButtonItem::Kind::Title:
        widget = gtk_button_new_with_label(item->title().c_str());
        gtk_widget_set_sensitive(widget, item->isEnabled());
        g_signal_connect_data(
            widget, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
              if (auto it = static_cast<std::weak_ptr<BarButtonItem>*>(data)->lock()) {
                it->sendAction();
              }
            }),
            new std::weak_ptr<BarButtonItem>(item),
            [](gpointer data, GClosure*) {
              delete static_cast<std::weak_ptr<BarButtonItem>*>(data);
            },
            GConnectFlags(0));
        break;
    }
    gtk_box_pack_start(GTK_BOX(bar), widget, item->kind() == BarButtonItem::Kind::FlexibleSpace,
                       TRUE, 0);
    gtk_widget_show(widget);
  }
}

// The weak reference to its view that a node's signal handlers carry.
std::weak_ptr<View>* viewRef(const std::shared_ptr<View>& view) {
  return new std::weak_ptr<View>(view);
}
void freeViewRef(gpointer data, GClosure*) { delete static_cast<std::weak_ptr<View>*>(data); }

}  // namespace

struct Renderer::Node {
  std::weak_ptr<View> view;
  const View* key = nullptr;
  GtkWidget* parentBox = nullptr;  // the GtkFixed it sits in; null for a window's root
  GtkWidget* box = nullptr;        // owned reference
  GtkWidget* content = nullptr;    // the kind's widget, inside box
  bool nativeContent = false;      // content owned by the view (a web view's widget)
  View::ObserverId observer = 0;
  std::vector<std::unique_ptr<Node>> children;
};

struct Renderer::WindowEntry {
  Renderer* renderer = nullptr;
  std::shared_ptr<Window> window;
  GtkWidget* gtkWindow = nullptr;
  std::unique_ptr<Node> root;
  bool mapped = false;
};

Renderer::Renderer() = default;

Result<std::shared_ptr<Renderer>> Renderer::install() {
  Status gtk = initializeGtk();
  if (!gtk.ok()) return gtk.error();
  if (current) {
    return Error::withDescription(kDisplayErrorDomain, kDisplayErrorNotAvailable,
                                  "A renderer is already installed");
  }
  std::shared_ptr<Renderer> renderer(new Renderer());
  current = renderer.get();
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) {
    monitor = gdk_display_get_monitor(display, 0);
  }
  if (monitor) Screen::main().setScale(gdk_monitor_get_scale_factor(monitor));
  Alert::setPresenter(current);
  Application::shared().setWindowPresenter(
      [raw = current](const std::shared_ptr<Window>& window) { raw->realizeWindow(window); });
  for (const auto& alert : Alert::visibleAlerts()) current->showAlert(alert);
  return renderer;
}

Renderer::~Renderer() {
  Application::shared().setWindowPresenter(nullptr);
  Alert::setPresenter(nullptr);
  for (auto& [alert, dialog] : dialogs_) gtk_widget_destroy(dialog);
  dialogs_.clear();
  for (auto& entry : windows_) {
    g_signal_handlers_disconnect_by_data(entry->gtkWindow, entry.get());
    unrealize(*entry->root);
    gtk_widget_destroy(entry->gtkWindow);
  }
  windows_.clear();
  current = nullptr;
}

GtkWindow* Renderer::gtkWindow(const Window& window) const {
  for (const auto& entry : windows_) {
    if (entry->window.get() == &window) return GTK_WINDOW(entry->gtkWindow);
  }
  return nullptr;
}

GtkWidget* Renderer::widget(const View& view) const {
  Node* node = find(view);
  return node ? (node->content ? node->content : node->box) : nullptr;
}

GtkWidget* Renderer::dialog(const Alert& alert) const {
  auto it = dialogs_.find(&alert);
  return it == dialogs_.end() ? nullptr : it->second;
}

Renderer::Node* Renderer::find(const View& view) const {
  auto it = nodes_.find(&view);
  return it == nodes_.end() ? nullptr : it->second;
}

// Windows.

void Renderer::realizeWindow(const std::shared_ptr<Window>& window) {
  auto entry = std::make_unique<WindowEntry>();
  entry->renderer = this;
  entry->window = window;
  entry->gtkWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* gtkWindow = GTK_WINDOW(entry->gtkWindow);
  gtk_window_set_default_size(gtkWindow, px(window->frame().width()), px(window->frame().height()));
  gtk_window_set_title(gtkWindow, window->title().c_str());
  entry->root = realize(window, nullptr);
  // The views' boxes ask for their frames' sizes, which would keep the window from becoming
  // smaller than it is: a viewport without scroll bars lets the user make it any size, and the
  // model follows the size it gets.
  GtkWidget* viewport = gtk_viewport_new(nullptr, nullptr);
  gtk_viewport_set_shadow_type(GTK_VIEWPORT(viewport), GTK_SHADOW_NONE);
  gtk_container_add(GTK_CONTAINER(viewport), entry->root->box);
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_EXTERNAL,
                                 GTK_POLICY_EXTERNAL);
  gtk_container_add(GTK_CONTAINER(scroller), viewport);
  gtk_container_add(GTK_CONTAINER(gtkWindow), scroller);
  gtk_widget_show(viewport);
  gtk_widget_show(scroller);
  WindowEntry* raw = entry.get();
  g_signal_connect(gtkWindow, "delete-event", G_CALLBACK(onWindowDelete), raw);
  g_signal_connect(gtkWindow, "window-state-event", G_CALLBACK(onWindowState), raw);
  g_signal_connect(gtkWindow, "notify::is-active", G_CALLBACK(onWindowActive), raw);
  g_signal_connect(gtkWindow, "map", G_CALLBACK(onWindowMapped), raw);
  g_signal_connect(scroller, "size-allocate", G_CALLBACK(onRootAllocated), raw);
  windows_.push_back(std::move(entry));
  gtk_widget_set_visible(raw->gtkWindow, !window->isHidden());
}

gboolean Renderer::onWindowDelete(GtkWidget* widget, GdkEvent*, gpointer) {
  // Closing the window ends the app; the shell tears the window down as it exits.
  gtk_widget_hide(widget);
  Application::shared().terminate();
  return TRUE;
}

gboolean Renderer::onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer) {
  if (event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
    if (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) {
      Application::shared().enterBackground();
    } else {
      Application::shared().becomeActive();
    }
  }
  return FALSE;
}

void Renderer::onWindowActive(GObject* object, GParamSpec*, gpointer) {
  if (gtk_window_is_active(GTK_WINDOW(object))) {
    Application::shared().becomeActive();
  } else {
    Application::shared().resignActive();
  }
}

void Renderer::onWindowMapped(GtkWidget*, gpointer data) {
  auto* entry = static_cast<WindowEntry*>(data);
  if (entry->mapped) return;
  entry->mapped = true;
  Application::shared().becomeActive();
}

void Renderer::onRootAllocated(GtkWidget*, GdkRectangle* allocation, gpointer data) {
  auto* entry = static_cast<WindowEntry*>(data);
  const Size size{double(allocation->width), double(allocation->height)};
  if (entry->window->frame().size == size) return;
  // Sizes requested while GTK allocates are not laid out again: change the model afterwards.
  mainQueue()->async([weak = std::weak_ptr<Window>(entry->window), size] {
    if (auto window = weak.lock()) window->setFrame(Rect(window->frame().origin, size));
  });
}

// Views.

std::unique_ptr<Renderer::Node> Renderer::realize(const std::shared_ptr<View>& view,
                                                  GtkWidget* parentBox) {
  auto node = std::make_unique<Node>();
  node->view = view;
  node->key = view.get();
  node->parentBox = parentBox;
  node->box = GTK_WIDGET(g_object_ref_sink(gtk_fixed_new()));
  g_signal_connect_data(node->box, "draw", G_CALLBACK(onBoxDraw), viewRef(view), freeViewRef,
                        GConnectFlags(0));

  if (auto* native = dynamic_cast<NativeWidget*>(view.get())) {
    node->content = native->nativeWidget();
    node->nativeContent = true;
    if (GtkWidget* old = gtk_widget_get_parent(node->content)) {
      gtk_container_remove(GTK_CONTAINER(old), node->content);
    }
  } else if (dynamic_cast<Label*>(view.get())) {
    node->content = gtk_label_new("");
  } else if (auto* button = dynamic_cast<Button*>(view.get())) {
    (void)button;
    node->content = gtk_button_new();
    g_signal_connect_data(node->content, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                            auto view = std::dynamic_pointer_cast<Button>(
                                static_cast<std::weak_ptr<View>*>(data)->lock());
                            if (view) view->sendAction();
                          }),
                          viewRef(view), freeViewRef, GConnectFlags(0));
  } else if (dynamic_cast<ImageView*>(view.get())) {
    node->content = gtk_drawing_area_new();
    g_signal_connect_data(node->content, "draw", G_CALLBACK(drawImage), viewRef(view), freeViewRef,
                          GConnectFlags(0));
  } else if (dynamic_cast<ActivityIndicatorView*>(view.get())) {
    node->content = newSpinner();
  } else if (dynamic_cast<Toolbar*>(view.get())) {
    node->content = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  }
  if (node->content) {
    gtk_fixed_put(GTK_FIXED(node->box), node->content, 0, 0);
    gtk_widget_show(node->content);
  }
  nodes_[node->key] = node.get();
  for (const auto& child : view->subviews()) node->children.push_back(realize(child, node->box));
  if (parentBox) {
    const Rect frame = view->frame();
    gtk_fixed_put(GTK_FIXED(parentBox), node->box, px(frame.x()), px(frame.y()));
  }
  for (ViewChange change : {ViewChange::Frame, ViewChange::Hidden, ViewChange::Alpha,
                            ViewChange::UserInteraction, ViewChange::Content}) {
    update(*node, change);
  }
  Node* raw = node.get();
  node->observer =
      view->addObserver([this, raw](View&, ViewChange change) { update(*raw, change); });
  return node;
}

// Paints the view's background colour under its content and subviews, then draws those, leaving
// out the ones that lie wholly behind an opaque subview: a web view under the in-app browser then
// costs no drawing (on X11, no upload of its pixels either).
gboolean Renderer::onBoxDraw(GtkWidget* box, cairo_t* cr, gpointer data) {
  auto view = static_cast<std::weak_ptr<View>*>(data)->lock();
  if (!view) return FALSE;
  const Color c = view->backgroundColor();
  if (c.alpha > 0) {
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
    cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(box),
                    gtk_widget_get_allocated_height(box));
    cairo_fill(cr);
  }
  const std::vector<GtkWidget*> covered =
      current ? current->coveredWidgets(*view) : std::vector<GtkWidget*>();
  if (covered.empty()) return FALSE;  // the container draws them all
  GList* children = gtk_container_get_children(GTK_CONTAINER(box));
  for (GList* l = children; l; l = l->next) {
    auto* child = GTK_WIDGET(l->data);
    if (std::find(covered.begin(), covered.end(), child) == covered.end()) {
      gtk_container_propagate_draw(GTK_CONTAINER(box), child, cr);
    }
  }
  g_list_free(children);
  return TRUE;
}

std::vector<GtkWidget*> Renderer::coveredWidgets(const View& view) const {
  const Node* node = find(view);
  if (!node) return {};
  std::vector<GtkWidget*> covered;
  std::vector<Rect> covers;  // frames of the opaque subviews in front of the one looked at
  auto behindACover = [&](const Rect& frame) {
    return std::any_of(covers.begin(), covers.end(),
                       [&](const Rect& cover) { return cover.contains(frame); });
  };
  const auto& subviews = view.subviews();
  for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
    const Rect frame = (*it)->frame();
    if (behindACover(frame)) {
      if (const Node* child = find(**it)) covered.push_back(child->box);
    } else if ((*it)->coversItsFrame()) {
      covers.push_back(frame);
    }
  }
  if (node->content && behindACover(view.bounds())) covered.push_back(node->content);
  return covered;
}

void Renderer::unrealize(Node& node) {
  for (auto& child : node.children) unrealize(*child);
  node.children.clear();
  if (auto view = node.view.lock()) view->removeObserver(node.observer);
  nodes_.erase(node.key);
  // The view's own widget lives on with the view: take it out before the box goes.
  if (node.nativeContent && gtk_widget_get_parent(node.content) == node.box) {
    gtk_container_remove(GTK_CONTAINER(node.box), node.content);
  }
  if (GtkWidget* parent = gtk_widget_get_parent(node.box)) {
    gtk_container_remove(GTK_CONTAINER(parent), node.box);
  }
  gtk_widget_destroy(node.box);
  g_object_unref(node.box);
  node.box = nullptr;
}

void Renderer::placeBox(Node& node) {
  auto view = node.view.lock();
  if (!view) return;
  const Rect frame = view->frame();
  if (node.parentBox) {
    Point offset;
    if (auto parent = view->superview()) offset = parent->bounds().origin;
    gtk_fixed_move(GTK_FIXED(node.parentBox), node.box, px(frame.x() - offset.x),
                   px(frame.y() - offset.y));
    gtk_widget_set_size_request(node.box, px(frame.width()), px(frame.height()));
  } else {
    for (const auto& entry : windows_) {
      if (entry->root.get() != &node) continue;
      int width = 0, height = 0;
      gtk_window_get_size(GTK_WINDOW(entry->gtkWindow), &width, &height);
      if (width != px(frame.width()) || height != px(frame.height())) {
        gtk_window_resize(GTK_WINDOW(entry->gtkWindow), std::max(1, px(frame.width())),
                          std::max(1, px(frame.height())));
      }
    }
  }
  if (node.content) {
    gtk_widget_set_size_request(node.content, px(frame.width()), px(frame.height()));
  }
}

void Renderer::update(Node& node, ViewChange change) {
  auto view = node.view.lock();
  if (!view) return;
  switch (change) {
    case ViewChange::Frame:
      placeBox(node);
      for (auto& child : node.children) placeBox(*child);
      break;
    case ViewChange::Hidden:
      gtk_widget_set_visible(node.box, !view->isHidden());
      for (const auto& entry : windows_) {
        if (entry->root.get() == &node) gtk_widget_set_visible(entry->gtkWindow, !view->isHidden());
      }
      break;
    case ViewChange::Alpha:
      gtk_widget_set_opacity(node.box, view->alpha());
      break;
    case ViewChange::BackgroundColor:
      gtk_widget_queue_draw(node.box);
      break;
    case ViewChange::UserInteraction:
      gtk_widget_set_sensitive(node.box, view->isUserInteractionEnabled());
      break;
    case ViewChange::Subviews:
      syncChildren(node);
      break;
    case ViewChange::Content:
      syncContent(node);
      break;
  }
}

void Renderer::syncChildren(Node& node) {
  auto view = node.view.lock();
  if (!view) return;
  std::vector<std::unique_ptr<Node>> ordered;
  for (const auto& child : view->subviews()) {
    auto it = std::find_if(node.children.begin(), node.children.end(),
                           [&](const auto& n) { return n && n->key == child.get(); });
    if (it != node.children.end()) {
      ordered.push_back(std::move(*it));
    } else {
      ordered.push_back(realize(child, node.box));
    }
  }
  for (auto& gone : node.children) {
    if (gone) unrealize(*gone);
  }
  node.children = std::move(ordered);
  // The container stacks its children in the order they were put: put them again when that
  // differs from the subviews' order (the content widget stays at the bottom).
  GList* present = gtk_container_get_children(GTK_CONTAINER(node.box));
  std::vector<GtkWidget*> stacked;
  for (GList* l = present; l; l = l->next) {
    if (l->data != node.content) stacked.push_back(GTK_WIDGET(l->data));
  }
  g_list_free(present);
  std::vector<GtkWidget*> wanted;
  for (const auto& child : node.children) wanted.push_back(child->box);
  if (stacked == wanted) return;
  for (GtkWidget* box : wanted) gtk_container_remove(GTK_CONTAINER(node.box), box);
  for (auto& child : node.children) {
    gtk_fixed_put(GTK_FIXED(node.box), child->box, 0, 0);
    placeBox(*child);
  }
}

void Renderer::syncContent(Node& node) {
  auto view = node.view.lock();
  if (!view) return;
  if (auto* window = dynamic_cast<Window*>(view.get())) {
    if (GtkWindow* gtkWindow = this->gtkWindow(*window)) {
      gtk_window_set_title(gtkWindow, window->title().c_str());
    }
  }
  if (!node.content || node.nativeContent) return;
  if (auto* label = dynamic_cast<Label*>(view.get())) {
    applyLabel(GTK_LABEL(node.content), *label);
  } else if (auto* button = dynamic_cast<Button*>(view.get())) {
    applyButton(GTK_BUTTON(node.content), *button);
  } else if (auto* spinner = dynamic_cast<ActivityIndicatorView*>(view.get())) {
    if (spinner->isAnimating()) {
      gtk_spinner_start(GTK_SPINNER(node.content));
    } else {
      gtk_spinner_stop(GTK_SPINNER(node.content));
    }
  } else if (auto* toolbar = dynamic_cast<Toolbar*>(view.get())) {
    rebuildToolbar(node.content, *toolbar);
  } else {
    gtk_widget_queue_draw(node.content);
  }
}

// Alerts.

namespace {

struct DialogState {
  std::weak_ptr<Alert> alert;
  std::vector<GtkWidget*> entries;
};

void onDialogResponse(GtkDialog* dialog, gint response, gpointer) {
  auto* state = static_cast<DialogState*>(g_object_get_data(G_OBJECT(dialog), "vokaru-alert"));
  auto alert = state ? state->alert.lock() : nullptr;
  if (!alert) return;
  for (size_t i = 0; i < state->entries.size(); ++i) {
    alert->setTextFieldText(i, gtk_entry_get_text(GTK_ENTRY(state->entries[i])));
  }
  // Closing the dialog (Escape, the title bar) chooses the cancel action, when there is one.
  const int index = response >= 0 ? response : alert->cancelActionIndex();
  if (index >= 0) alert->answer(static_cast<size_t>(index));  // destroys the dialog
}

}  // namespace

void Renderer::showAlert(const std::shared_ptr<Alert>& alert) {
  if (dialogs_.count(alert.get())) return;
  GtkWindow* parent = nullptr;
  if (auto key = Application::shared().keyWindow()) parent = gtkWindow(*key);
  GtkWidget* dialog = gtk_message_dialog_new(
      parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_MESSAGE_OTHER,
      GTK_BUTTONS_NONE, "%s", alert->title().c_str());
  if (!alert->message().empty()) {
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             alert->message().c_str());
  }
  auto* state = new DialogState{alert, {}};
  GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
  for (const auto& field : alert->textFields()) {
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), field.text.c_str());
    gtk_entry_set_placeholder_text(GTK_ENTRY(entry), field.placeholder.c_str());
    gtk_entry_set_visibility(GTK_ENTRY(entry), !field.secure);
    gtk_box_pack_start(GTK_BOX(area), entry, FALSE, FALSE, 0);
    state->entries.push_back(entry);
  }
  for (size_t i = 0; i < alert->actions().size(); ++i) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), alert->actions()[i].title.c_str(),
                          static_cast<gint>(i));
  }
  g_object_set_data_full(G_OBJECT(dialog), "vokaru-alert", state,
                         [](gpointer data) { delete static_cast<DialogState*>(data); });
  g_signal_connect(dialog, "response", G_CALLBACK(onDialogResponse), nullptr);
  // The dialog's own close handler has already answered the cancel action, if any (which closed
  // it); otherwise the alert stays until a button answers it, so GTK must not destroy it here.
  g_signal_connect(dialog, "delete-event", G_CALLBACK(gtk_true), nullptr);
  dialogs_[alert.get()] = dialog;
  gtk_widget_show_all(dialog);
}

void Renderer::closeAlert(const Alert& alert) {
  auto it = dialogs_.find(&alert);
  if (it == dialogs_.end()) return;
  GtkWidget* dialog = it->second;
  dialogs_.erase(it);
  gtk_widget_destroy(dialog);
}

}  // namespace platform::ui::gtk
