#include "platform/media/gtk/file_chooser_picker_presenter.h"

#include <algorithm>

#include "platform/foundation/log.h"

namespace platform::media::gtk {

namespace {

struct ChooserState {
  std::weak_ptr<ImagePickerController> picker;
};

bool offers(const ImagePickerController& picker, const char* type) {
  const auto& types = picker.mediaTypes();
  return std::find(types.begin(), types.end(), type) != types.end();
}

void onResponse(GtkDialog* dialog, gint response, gpointer) {
  auto* state = static_cast<ChooserState*>(g_object_get_data(G_OBJECT(dialog), "vokaru-picker"));
  auto picker = state ? state->picker.lock() : nullptr;
  if (!picker) return;
  if (response != GTK_RESPONSE_ACCEPT) {
    picker->cancel();
    return;
  }
  gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
  if (!file) return;
  const std::string path = file;
  g_free(file);
  if (Status picked = picker->pick(path); !picked) log(picked.error().description());
}

}  // namespace

std::unique_ptr<FileChooserPickerPresenter> FileChooserPickerPresenter::install() {
  std::unique_ptr<FileChooserPickerPresenter> presenter(new FileChooserPickerPresenter());
  ImagePickerController::setPresenter(presenter.get());
  for (const auto& picker : ImagePickerController::visiblePickers()) presenter->showPicker(picker);
  return presenter;
}

FileChooserPickerPresenter::~FileChooserPickerPresenter() {
  ImagePickerController::setPresenter(nullptr);
  for (auto& [picker, chooser] : choosers_) gtk_widget_destroy(chooser);
}

GtkWidget* FileChooserPickerPresenter::chooser(const ImagePickerController& picker) const {
  auto it = choosers_.find(&picker);
  return it == choosers_.end() ? nullptr : it->second;
}

void FileChooserPickerPresenter::showPicker(const std::shared_ptr<ImagePickerController>& picker) {
  if (choosers_.count(picker.get())) return;
  // A picker of videos alone is titled for them.
  const char* title = offers(*picker, kMediaTypeImage) ? "Photo library" : "Videos";
  GtkWidget* chooser =
      gtk_file_chooser_dialog_new(title, nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                  GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), picker->folder().c_str());
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, "Photos and videos");
  if (offers(*picker, kMediaTypeImage)) gtk_file_filter_add_mime_type(filter, "image/*");
  if (offers(*picker, kMediaTypeMovie)) gtk_file_filter_add_mime_type(filter, "video/*");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
  g_object_set_data_full(G_OBJECT(chooser), "vokaru-picker", new ChooserState{picker},
                         [](gpointer data) { delete static_cast<ChooserState*>(data); });
  g_signal_connect(chooser, "response", G_CALLBACK(onResponse), nullptr);
  // Closing the window cancels through the response; the picker's dismissal destroys it.
  g_signal_connect(chooser, "delete-event", G_CALLBACK(gtk_true), nullptr);
  choosers_[picker.get()] = chooser;
  gtk_widget_show_all(chooser);
}

void FileChooserPickerPresenter::closePicker(const ImagePickerController& picker) {
  auto it = choosers_.find(&picker);
  if (it == choosers_.end()) return;
  GtkWidget* chooser = it->second;
  choosers_.erase(it);
  gtk_widget_destroy(chooser);
}

}  // namespace platform::media::gtk
