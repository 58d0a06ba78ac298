#pragma once

#include <memory>

#include "platform/ui/image.h"
#include "platform/ui/view.h"

namespace platform::ui {

// Shows an image scaled to the view, optionally rotated about its centre.
class ImageView : public View {
 public:
  using View::View;

  std::shared_ptr<const Image> image() const { return image_; }
  void setImage(std::shared_ptr<const Image> image) { setContent(image_, std::move(image)); }
  // Rotation in radians, clockwise.
  double rotation() const { return rotation_; }
  void setRotation(double radians) { setContent(rotation_, radians); }

 private:
  std::shared_ptr<const Image> image_;
  double rotation_ = 0;
};

}  // namespace platform::ui
