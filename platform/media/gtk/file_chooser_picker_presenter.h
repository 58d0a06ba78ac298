#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>

#include "platform/media/image_picker_controller.h"

namespace platform::media::gtk {

// Shows image pickers on the display as file choosers opened on the photo library's folder,
// offering the pictures and videos the picker asks for. Choosing a file picks it (a file the
// picker cannot take leaves the chooser open); closing the chooser cancels. One at a time; main
// thread only.
class FileChooserPickerPresenter final : public ImagePickerController::Presenter {
 public:
  // Starts presenting pickers; they go back to the model only when the presenter is dropped.
  static std::unique_ptr<FileChooserPickerPresenter> install();
  ~FileChooserPickerPresenter();
  FileChooserPickerPresenter(const FileChooserPickerPresenter&) = delete;
  FileChooserPickerPresenter& operator=(const FileChooserPickerPresenter&) = delete;

  // The chooser showing a picker; null when it shows none.
  GtkWidget* chooser(const ImagePickerController& picker) const;

  void showPicker(const std::shared_ptr<ImagePickerController>& picker) override;
  void closePicker(const ImagePickerController& picker) override;

 private:
  FileChooserPickerPresenter() = default;

  std::map<const ImagePickerController*, GtkWidget*> choosers_;
};

}  // namespace platform::media::gtk
