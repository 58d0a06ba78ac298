#include "platform/media/gtk/file_chooser_picker_presenter.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/media/photo_library.h"
#include "platform/testing/main_loop.h"
#include "platform/testing/png.h"
#include "platform/testing/test_app.h"
#include "platform/ui/application.h"
#include "platform/ui/gtk/gtk_init.h"
#include "platform/ui/window.h"

namespace platform::media::gtk {
namespace {

struct Answers final : ImagePickerController::Delegate {
  void imagePickerDidFinishPicking(ImagePickerController&,
                                   const ImagePickerController::Info& info) override {
    referenceURL = info.referenceURL.value_or("(none)");
  }
  void imagePickerDidCancel(ImagePickerController&) override { cancelled = true; }
  std::string referenceURL;
  bool cancelled = false;
};

TEST(FileChooserPickerPresenterTest, ChoosersPickAndCancelForThePicker) {
  // The chooser remembers its settings; kept in memory, not in the desktop's settings store.
  g_setenv("GSETTINGS_BACKEND", "memory", TRUE);
  ASSERT_TRUE(platform::ui::gtk::initializeGtk());
  platform::testing::TestApp app;
  ui::Application::resetShared();
  const auto file = PhotoLibrary::folder() / "CHOSEN.PNG";
  std::ofstream(file, std::ios::binary) << platform::testing::pngOf(4, 4, 0x808080ff);
  auto window = std::make_shared<ui::Window>();
  auto root = std::make_shared<ui::ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  auto answers = std::make_shared<Answers>();
  std::unique_ptr<FileChooserPickerPresenter> presenter = FileChooserPickerPresenter::install();

  for (bool accept : {true, false}) {
    auto picker = std::make_shared<ImagePickerController>();
    picker->setDelegate(answers);
    ASSERT_TRUE(root->presentViewController(picker, false, nullptr));
    GtkWidget* chooser = presenter->chooser(*picker);
    ASSERT_NE(chooser, nullptr);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(chooser)), "Photo library");
    if (accept) {
      ASSERT_TRUE(gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), file.c_str()));
      // The chooser selects the file once it has read its folder.
      ASSERT_TRUE(platform::testing::runMainLoopUntil([&] {
        gchar* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        g_free(chosen);
        return chosen != nullptr;
      }));
      gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
      EXPECT_EQ(answers->referenceURL, "assets-library://asset/asset.PNG?id=CHOSEN&ext=PNG");
    } else {
      gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_DELETE_EVENT);
      EXPECT_TRUE(answers->cancelled);
    }
    // The picker's dismissal takes the chooser away.
    root->dismissViewController(false, nullptr);
    EXPECT_EQ(presenter->chooser(*picker), nullptr);
  }
  presenter.reset();
  platform::testing::drainMainLoop();
  ui::Application::resetShared();
}

}  // namespace
}  // namespace platform::media::gtk
