#include "platform/ui/gtk/renderer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/dispatch/notification_center.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/temp_dir.h"
#include "platform/ui/activity_indicator_view.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/gtk/native_widget.h"
#include "platform/ui/image_file.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/toolbar.h"
#include "platform/ui/view_controller.h"

namespace platform::ui::gtk {
namespace {

using platform::testing::runMainLoopUntil;

// A view that brings its own widget, as a web view does.
class WidgetView : public View, public NativeWidget {
 public:
  explicit WidgetView(Rect frame)
      : View(frame), widget_(GTK_WIDGET(g_object_ref_sink(gtk_label_new("native")))) {}
  ~WidgetView() override {
    gtk_widget_destroy(widget_);
    g_object_unref(widget_);
  }
  GtkWidget* nativeWidget() const override { return widget_; }

 private:
  GtkWidget* widget_;
};

GdkRectangle allocationOf(GtkWidget* widget) {
  GtkAllocation allocation;
  gtk_widget_get_allocation(widget, &allocation);
  return allocation;
}

// The allocation of a view's box relative to the window's root box.
GdkRectangle placed(GtkWidget* widget, GtkWidget* root) {
  int x = 0, y = 0;
  gtk_widget_translate_coordinates(widget, root, 0, 0, &x, &y);
  GdkRectangle a = allocationOf(widget);
  return {x, y, a.width, a.height};
}

bool operator==(const GdkRectangle& a, const GdkRectangle& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

void sendEvent(GtkWidget* gtkWindow, GdkEvent* event) {
  event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(gtkWindow)));
  event->any.send_event = TRUE;
  GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(gtkWindow));
  gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
  gtk_main_do_event(event);
  gdk_event_free(event);
}

// Two rows of opaque pixels, each pixel twice, given as 0xRRGGBB: the middle of each pair (and of
// the two rows) shows its colour unmixed however it is scaled.
std::shared_ptr<const Image> imageOfPairs(std::initializer_list<uint32_t> colours) {
  auto image = std::make_shared<Image>();
  image->width = static_cast<int>(colours.size() * 2);
  image->height = 2;
  for (int row = 0; row < image->height; ++row) {
    for (uint32_t colour : colours) {
      for (int twice = 0; twice < 2; ++twice) {
        image->rgba.insert(image->rgba.end(),
                           {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour), 0xff});
      }
    }
  }
  return image;
}

// The colour of the window's pixel as 0xRRGGBB, as it shows on the display now.
uint32_t windowPixel(GtkWidget* gtkWindow, int x, int y) {
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gtk_widget_get_window(gtkWindow), x, y, 1, 1);
  if (!shot) return 0xffffffffu;
  const guchar* p = gdk_pixbuf_read_pixels(shot);
  const uint32_t colour = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  g_object_unref(shot);
  return colour;
}

class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application::resetShared();
    auto installed = Renderer::install();
    ASSERT_TRUE(installed.ok()) << installed.error().description();
    renderer_ = *installed;
    window_ = std::make_shared<Window>(Rect(0, 0, 320, 240));
    root_ = std::make_shared<ViewController>();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
    gtkWindow_ = GTK_WIDGET(renderer_->gtkWindow(*window_));
    ASSERT_NE(gtkWindow_, nullptr);
    ASSERT_TRUE(runMainLoopUntil([&] { return gtk_widget_get_mapped(gtkWindow_); }));
  }
  void TearDown() override {
    for (const auto& alert : Alert::visibleAlerts()) alert->answer(0);
    renderer_.reset();
    Application::resetShared();
  }

  GtkWidget* rootBox() { return gtk_bin_get_child(GTK_BIN(gtkWindow_)); }
  bool placedAt(const View& view, GdkRectangle expected) {
    return runMainLoopUntil([&] {
      GtkWidget* w = renderer_->widget(view);
      return w && gtk_widget_get_mapped(w) && placed(w, rootBox()) == expected;
    });
  }

  std::shared_ptr<Renderer> renderer_;
  std::shared_ptr<Window> window_;
  std::shared_ptr<ViewController> root_;
  GtkWidget* gtkWindow_ = nullptr;
};

TEST_F(RendererTest, ViewsAppearAtTheirFramesAndFollowTheModel) {
  auto panel = std::make_shared<View>(Rect(10, 20, 200, 100));
  auto label = std::make_shared<Label>(Rect(5, 6, 120, 30));
  label->setText("Loading...");
  panel->addSubview(label);
  root_->view()->addSubview(panel);

  ASSERT_TRUE(placedAt(*panel, {10, 20, 200, 100}));
  ASSERT_TRUE(placedAt(*label, {15, 26, 120, 30}));
  ASSERT_TRUE(GTK_IS_LABEL(renderer_->widget(*label)));
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(renderer_->widget(*label))), "Loading...");

  label->setText("test://app/");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(renderer_->widget(*label))), "test://app/");
  panel->setFrame(Rect(30, 40, 200, 100));
  EXPECT_TRUE(placedAt(*label, {35, 46, 120, 30}));
  panel->setAlpha(0.5);
  EXPECT_NEAR(gtk_widget_get_opacity(renderer_->widget(*panel)), 0.5, 0.01);
  panel->setHidden(true);
  EXPECT_TRUE(runMainLoopUntil([&] { return !gtk_widget_get_mapped(renderer_->widget(*label)); }));
  panel->setHidden(false);
  panel->setUserInteractionEnabled(false);
  EXPECT_FALSE(gtk_widget_is_sensitive(renderer_->widget(*label)));

  label->removeFromSuperview();
  EXPECT_EQ(renderer_->widget(*label), nullptr);
}

TEST_F(RendererTest, AnImageViewDrawsItsImageScaledAndTurnedAndFollowsANewOne) {
  auto view = std::make_shared<ImageView>(Rect(20, 20, 80, 40));
  view->setImage(imageOfPairs({0xff0000, 0x0000ff}));
  root_->view()->addSubview(view);
  // Where the middles of the image's two pairs land.
  auto shows = [&](uint32_t left, uint32_t right) {
    return runMainLoopUntil([&] {
      return windowPixel(gtkWindow_, 40, 40) == left && windowPixel(gtkWindow_, 80, 40) == right;
    });
  };
  EXPECT_TRUE(shows(0xff0000, 0x0000ff));
  view->setRotation(M_PI);
  EXPECT_TRUE(shows(0x0000ff, 0xff0000));
  view->setImage(imageOfPairs({0x00ff00, 0xffff00}));
  EXPECT_TRUE(shows(0xffff00, 0x00ff00));
}

TEST_F(RendererTest, AnImageViewDrawsAnImageFileAndNothingForOneThatCantBeRead) {
  platform::testing::TempDir dir;
  const Result<Bytes> png = pngDataOfImage(*imageOfPairs({0xff0000, 0x0000ff}));
  ASSERT_TRUE(png.ok());
  platform::testing::writeFile(dir / "pairs.png", std::string(png->begin(), png->end()));
  const Result<ImageFile> file = imageFileAt(dir / "pairs.png");
  ASSERT_TRUE(file.ok()) << file.error().description();
  EXPECT_EQ(file->size, (Size{4, 2}));

  auto view = std::make_shared<ImageView>(Rect(20, 20, 80, 40));
  view->setImageFile(*file);
  root_->view()->addSubview(view);
  auto shows = [&](uint32_t left, uint32_t right) {
    return runMainLoopUntil([&] {
      return windowPixel(gtkWindow_, 40, 40) == left && windowPixel(gtkWindow_, 80, 40) == right;
    });
  };
  EXPECT_TRUE(shows(0xff0000, 0x0000ff));
  EXPECT_FALSE(view->image());
  // An image in memory takes the file's place, and a file the image's.
  view->setImage(imageOfPairs({0x00ff00, 0xffff00}));
  EXPECT_TRUE(shows(0x00ff00, 0xffff00));
  EXPECT_TRUE(view->imageFile().isEmpty());
  view->setImageFile(*file);
  EXPECT_TRUE(shows(0xff0000, 0x0000ff));

  // A file spoilt after its size was read shows nothing, and the window goes on drawing.
  platform::testing::writeFile(dir / "spoilt.png", "not an image");
  view->setImageFile(ImageFile{dir / "spoilt.png", Size{4, 2}});
  EXPECT_TRUE(runMainLoopUntil([&] {
    return windowPixel(gtkWindow_, 40, 40) != 0xff0000 &&
           windowPixel(gtkWindow_, 80, 40) != 0x0000ff;
  }));
  EXPECT_FALSE(imageFileAt(dir / "spoilt.png").ok());
  EXPECT_FALSE(imageFileAt(dir / "missing.png").ok());
}

TEST_F(RendererTest, WindowSizeChangesReachTheModelAndItsAutoresizing) {
  auto bar = std::make_shared<View>(Rect(0, 196, 320, 44));
  bar->setAutoresizingMask(kFlexibleWidth | kFlexibleTopMargin);
  root_->view()->addSubview(bar);
  gtk_window_resize(GTK_WINDOW(gtkWindow_), 400, 300);
  ASSERT_TRUE(runMainLoopUntil([&] { return window_->frame().size == Size{400, 300}; }));
  EXPECT_EQ(bar->frame(), Rect(0, 256, 400, 44));
  EXPECT_TRUE(placedAt(*bar, {0, 256, 400, 44}));
  // Smaller again, below the size the window was made with.
  gtk_window_resize(GTK_WINDOW(gtkWindow_), 200, 150);
  ASSERT_TRUE(runMainLoopUntil([&] {
    return window_->frame().size == Size{200, 150};
  })) << window_->frame().width()
      << "x" << window_->frame().height();
  EXPECT_EQ(bar->frame(), Rect(0, 106, 200, 44));
  EXPECT_TRUE(placedAt(*bar, {0, 106, 200, 44}));
}

TEST_F(RendererTest, StackingFollowsTheSubviewOrder) {
  auto back = std::make_shared<View>(Rect(0, 0, 50, 50));
  auto front = std::make_shared<View>(Rect(0, 0, 50, 50));
  root_->view()->addSubview(back);
  root_->view()->addSubview(front);
  auto stacked = [&] {
    std::vector<GtkWidget*> boxes;
    GList* children = gtk_container_get_children(GTK_CONTAINER(renderer_->widget(*root_->view())));
    for (GList* l = children; l; l = l->next) boxes.push_back(GTK_WIDGET(l->data));
    g_list_free(children);
    return boxes;
  };
  EXPECT_EQ(stacked(),
            (std::vector<GtkWidget*>{renderer_->widget(*back), renderer_->widget(*front)}));
  root_->view()->sendSubviewToBack(front);
  EXPECT_EQ(stacked(),
            (std::vector<GtkWidget*>{renderer_->widget(*front), renderer_->widget(*back)}));
}

TEST_F(RendererTest, NativeWidgetsAreHostedAndReturnedToTheirViews) {
  auto native = std::make_shared<WidgetView>(Rect(0, 0, 100, 40));
  native->setAutoresizingMask(kFlexibleWidth | kFlexibleHeight);
  root_->view()->addSubview(native);
  EXPECT_EQ(renderer_->widget(*native), native->nativeWidget());
  EXPECT_TRUE(placedAt(*native, {0, 0, 100, 40}));
  native->removeFromSuperview();
  // Taken out of the window, alive, and ready to be placed again.
  EXPECT_EQ(gtk_widget_get_parent(native->nativeWidget()), nullptr);
  root_->view()->addSubview(native);
  EXPECT_TRUE(placedAt(*native, {0, 0, 100, 40}));
}

TEST_F(RendererTest, WhatLiesWhollyBehindAnOpaqueViewIsNotDrawn) {
  auto countDraws = [](GtkWidget* widget, int* count) {
    return g_signal_connect_after(widget, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer n) {
                                    ++*static_cast<int*>(n);
                                    return FALSE;
                                  }),
                                  count);
  };
  auto native = std::make_shared<WidgetView>(Rect(0, 0, 100, 40));
  root_->view()->addSubview(native);
  int nativeDraws = 0, coverDraws = 0;
  const gulong nativeHandler = countDraws(native->nativeWidget(), &nativeDraws);
  ASSERT_TRUE(runMainLoopUntil([&] { return nativeDraws > 0; }));

  auto cover = std::make_shared<View>(Rect(0, 0, 120, 60));
  cover->setBackgroundColor(Color{0, 1, 0, 1});
  root_->view()->addSubview(cover);
  ASSERT_TRUE(runMainLoopUntil([&] { return windowPixel(gtkWindow_, 50, 20) == 0x00ff00; }));
  const gulong coverHandler = countDraws(renderer_->widget(*cover), &coverDraws);
  nativeDraws = 0;
  gtk_widget_queue_draw(gtkWindow_);
  ASSERT_TRUE(runMainLoopUntil([&] { return coverDraws > 0; }));
  EXPECT_EQ(nativeDraws, 0);

  cover->setAlpha(0.5);
  EXPECT_TRUE(runMainLoopUntil([&] { return nativeDraws > 0; })) << "seen through the cover";
  g_signal_handler_disconnect(native->nativeWidget(), nativeHandler);
  g_signal_handler_disconnect(renderer_->widget(*cover), coverHandler);
}

TEST_F(RendererTest, ControlsCallTheirActions) {
  int taps = 0, done = 0;
  auto button = std::make_shared<Button>(Rect(0, 0, 80, 30));
  button->setTitle("Go");
  button->setAction([&] { ++taps; });
  auto toolbar = std::make_shared<Toolbar>(Rect(0, 196, 320, 44));
  auto doneItem = BarButtonItem::done([&] { ++done; });
  auto back = BarButtonItem::titled("\u25c4", BarButtonItem::Style::Plain, nullptr);
  toolbar->setItems({doneItem, BarButtonItem::flexibleSpace(), back});
  auto spinner = std::make_shared<ActivityIndicatorView>(Rect(150, 110, 20, 20));
  for (const auto& v : std::vector<std::shared_ptr<View>>{button, toolbar, spinner}) {
    root_->view()->addSubview(v);
  }

  gtk_button_clicked(GTK_BUTTON(renderer_->widget(*button)));
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(renderer_->widget(*button))), "Go");
  button->setEnabled(false);
  gtk_button_clicked(GTK_BUTTON(renderer_->widget(*button)));
  EXPECT_EQ(taps, 1);

  GList* items = gtk_container_get_children(GTK_CONTAINER(renderer_->widget(*toolbar)));
  ASSERT_EQ(g_list_length(items), 3u);
  gtk_button_clicked(GTK_BUTTON(items->data));
  GtkWidget* backWidget = GTK_WIDGET(g_list_nth_data(items, 2));
  g_list_free(items);
  EXPECT_EQ(done, 1);
  EXPECT_TRUE(gtk_widget_is_sensitive(backWidget));
  back->setEnabled(false);  // rebuilt from the model
  items = gtk_container_get_children(GTK_CONTAINER(renderer_->widget(*toolbar)));
  EXPECT_FALSE(gtk_widget_is_sensitive(GTK_WIDGET(g_list_nth_data(items, 2))));
  g_list_free(items);

  spinner->startAnimating();
  gboolean active = FALSE;
  g_object_get(renderer_->widget(*spinner), "active", &active, nullptr);
  EXPECT_TRUE(active);
}

TEST_F(RendererTest, AlertIsAModalDialogAnsweredByItsButtons) {
  std::vector<std::string> answers;
  auto alert = std::make_shared<Alert>("Permission", "Allow the camera?");
  alert->addAction("Deny", Alert::ActionStyle::Cancel);
  alert->addAction("Allow");
  alert->addTextField({.text = "", .placeholder = "reason", .secure = false});
  alert->setAnswerHandler([&, raw = alert.get()](size_t index) {
    answers.push_back(std::to_string(index) + " " + raw->textFields()[0].text);
  });
  alert->show();

  GtkWidget* dialog = renderer_->dialog(*alert);
  ASSERT_TRUE(GTK_IS_MESSAGE_DIALOG(dialog));
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(gtkWindow_));
  gchar* text = nullptr;
  g_object_get(dialog, "text", &text, nullptr);
  EXPECT_STREQ(text, "Permission");
  g_free(text);

  // The user types and presses "Allow".
  GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
  GList* children = gtk_container_get_children(GTK_CONTAINER(area));
  GtkWidget* entry = GTK_WIDGET(g_list_last(children)->data);
  g_list_free(children);
  ASSERT_TRUE(GTK_IS_ENTRY(entry));
  gtk_entry_set_text(GTK_ENTRY(entry), "scan");
  gtk_dialog_response(GTK_DIALOG(dialog), 1);
  EXPECT_EQ(answers, (std::vector<std::string>{"1 scan"}));
  EXPECT_EQ(renderer_->dialog(*alert), nullptr);
  EXPECT_TRUE(Alert::visibleAlerts().empty());

  // Closing a dialog chooses the cancel action; an answer from code closes the dialog.
  alert->show();
  gtk_dialog_response(GTK_DIALOG(renderer_->dialog(*alert)), GTK_RESPONSE_DELETE_EVENT);
  alert->show();
  ASSERT_NE(renderer_->dialog(*alert), nullptr);
  alert->answer(1);
  EXPECT_EQ(renderer_->dialog(*alert), nullptr);
  EXPECT_EQ(answers, (std::vector<std::string>{"1 scan", "0 scan", "1 scan"}));
}

TEST_F(RendererTest, ClosingADialogLeavesItOpenUnlessItHasACancelAction) {
  for (const bool withCancel : {false, true}) {
    SCOPED_TRACE(withCancel ? "with a cancel action" : "without a cancel action");
    std::vector<size_t> answers;
    auto alert = std::make_shared<Alert>("Saved", "");
    alert->addAction("OK");
    if (withCancel) alert->addAction("Cancel", Alert::ActionStyle::Cancel);
    alert->setAnswerHandler([&](size_t index) { answers.push_back(index); });
    alert->show();
    GtkWidget* dialog = renderer_->dialog(*alert);
    ASSERT_NE(dialog, nullptr);

    // Cleared when the dialog is finalized.
    GtkWidget* alive = dialog;
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&alive));

    sendEvent(dialog, gdk_event_new(GDK_DELETE));  // the title bar's close button
    if (withCancel) {
      EXPECT_EQ(answers, std::vector<size_t>{1});
      EXPECT_EQ(renderer_->dialog(*alert), nullptr);
    } else {
      EXPECT_TRUE(answers.empty());
      ASSERT_NE(alive, nullptr);
      EXPECT_EQ(renderer_->dialog(*alert), dialog);
      EXPECT_TRUE(gtk_widget_get_visible(dialog));
      gtk_dialog_response(GTK_DIALOG(dialog), 0);
      EXPECT_EQ(answers, std::vector<size_t>{0});
      EXPECT_EQ(renderer_->dialog(*alert), nullptr);
    }
    EXPECT_EQ(alive, nullptr);
    if (alive) g_object_remove_weak_pointer(G_OBJECT(alive), reinterpret_cast<gpointer*>(&alive));
  }
}

TEST_F(RendererTest, WindowEventsBecomeTheApplicationLifeCycle) {
  EXPECT_EQ(Application::shared().applicationState(), ApplicationState::Active);  // shown
  std::vector<std::string> posted;
  auto observation = NotificationCenter::defaultCenter().addObserver(
      "", &Application::shared(), [&](const Notification& n) { posted.push_back(n.name); });
  bool terminated = false;
  Application::shared().setTerminateHandler([&] { terminated = true; });

  auto focus = [&](bool in) {
    GdkEvent* event = gdk_event_new(GDK_FOCUS_CHANGE);
    event->focus_change.in = in;
    sendEvent(gtkWindow_, event);
  };
  auto iconify = [&](bool iconified) {
    GdkEvent* event = gdk_event_new(GDK_WINDOW_STATE);
    event->window_state.changed_mask = GDK_WINDOW_STATE_ICONIFIED;
    event->window_state.new_window_state =
        iconified ? GDK_WINDOW_STATE_ICONIFIED : GdkWindowState(0);
    sendEvent(gtkWindow_, event);
  };
  focus(true);
  focus(false);
  focus(true);
  iconify(true);
  iconify(false);
  sendEvent(gtkWindow_, gdk_event_new(GDK_DELETE));

  EXPECT_EQ(posted, (std::vector<std::string>{
                        kApplicationWillResignActiveNotification,
                        kApplicationDidBecomeActiveNotification,
                        kApplicationWillResignActiveNotification,
                        kApplicationDidEnterBackgroundNotification,
                        kApplicationWillEnterForegroundNotification,
                        kApplicationDidBecomeActiveNotification,
                        kApplicationWillResignActiveNotification,
                        kApplicationDidEnterBackgroundNotification,
                        kApplicationWillTerminateNotification,
                    }));
  EXPECT_TRUE(terminated);
  EXPECT_FALSE(gtk_widget_get_visible(gtkWindow_));
}

}  // namespace
}  // namespace platform::ui::gtk
