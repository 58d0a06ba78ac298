#pragma once

#include <memory>

#include "platform/ui/geometry.h"
#include "platform/ui/image.h"
#include "platform/ui/image_file.h"
#include "platform/ui/view.h"

namespace platform::ui {

// Shows an image scaled to the view, optionally rotated about its centre. The image is pixels in
// memory or an image file. A file's pixels are decoded only to be drawn and then live on the
// display's side alone: the way to show a large picture that nothing reads, like a launch image.
class ImageView : public View {
 public:
  using View::View;

  std::shared_ptr<const Image> image() const { return image_; }
  // Shows `image` (and no file).
  void setImage(std::shared_ptr<const Image> image) {
    setContent(imageFile_, ImageFile());
    setContent(image_, std::move(image));
  }
  const ImageFile& imageFile() const { return imageFile_; }
  // Shows the image in `file` (and no image in memory).
  void setImageFile(ImageFile file) {
    setContent(image_, nullptr);
    setContent(imageFile_, std::move(file));
  }
  // The size in pixels of the image or file shown; zero when there is none.
  Size imageSize() const {
    if (image_) return {static_cast<double>(image_->width), static_cast<double>(image_->height)};
    return imageFile_.size;
  }

  // Rotation in radians, clockwise.
  double rotation() const { return rotation_; }
  void setRotation(double radians) { setContent(rotation_, radians); }

 private:
  std::shared_ptr<const Image> image_;
  ImageFile imageFile_;
  double rotation_ = 0;
};

}  // namespace platform::ui
