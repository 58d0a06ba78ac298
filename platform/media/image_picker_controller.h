#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/media/picture.h"
#include "platform/ui/view_controller.h"

namespace platform::media {

// Uniform type identifiers of what a picker offers.
inline constexpr const char* kMediaTypeImage = "public.image";
inline constexpr const char* kMediaTypeMovie = "public.movie";

enum class ImagePickerSourceType { PhotoLibrary = 0, Camera = 1, SavedPhotosAlbum = 2 };
enum class CameraDevice { Rear = 0, Front = 1 };

inline constexpr const char* kImagePickerErrorDomain = "ImagePickerErrorDomain";
enum ImagePickerErrorCode : int64_t {
  kImagePickerNotVisible = 1,
  kImagePickerUnsupportedFile = 2,  // neither a picture nor a video the picker offers
};

// Lets the user pick a picture or video: from the photo library and the saved-photos album, both
// the photo library's folder on Linux. No camera exists here: that source is never available.
// Presented modally; a presenter (a file chooser on a display) shows it, and without one it
// exists only in the model, where a test answers it with pick() or cancel(), as the user would.
// The delegate hears the choice while the picker is still shown, and dismisses it. Main thread
// only.
class ImagePickerController : public ui::ViewController {
 public:
  // What was picked.
  struct Info {
    std::string mediaType;                    // kMediaTypeImage or kMediaTypeMovie
    std::optional<Picture> originalImage;     // pictures
    std::optional<Picture> editedImage;       // never: the desktop picker does not edit
    std::optional<std::string> mediaURL;      // videos: the file's URL
    std::optional<std::string> referenceURL;  // the photo library's asset URL, when from it
  };

  class Delegate {
   public:
    virtual void imagePickerDidFinishPicking(ImagePickerController& picker, const Info& info) = 0;
    virtual void imagePickerDidCancel(ImagePickerController& picker) = 0;

   protected:
    ~Delegate() = default;
  };

  class Presenter {
   public:
    virtual void showPicker(const std::shared_ptr<ImagePickerController>& picker) = 0;
    virtual void closePicker(const ImagePickerController& picker) = 0;

   protected:
    ~Presenter() = default;
  };

  static bool isSourceTypeAvailable(ImagePickerSourceType source);
  // Media types a source offers; none for a source that is not available.
  static std::vector<std::string> availableMediaTypesForSourceType(ImagePickerSourceType source);

  ImagePickerSourceType sourceType() const { return sourceType_; }
  void setSourceType(ImagePickerSourceType source) { sourceType_ = source; }
  const std::vector<std::string>& mediaTypes() const { return mediaTypes_; }
  void setMediaTypes(std::vector<std::string> types) { mediaTypes_ = std::move(types); }
  bool allowsEditing() const { return allowsEditing_; }
  void setAllowsEditing(bool allows) { allowsEditing_ = allows; }
  CameraDevice cameraDevice() const { return cameraDevice_; }
  void setCameraDevice(CameraDevice device) { cameraDevice_ = device; }
  void setDelegate(std::weak_ptr<Delegate> delegate) { delegate_ = std::move(delegate); }
  // The folder the picker shows: the photo library's.
  std::filesystem::path folder() const;

  bool isVisible() const { return visible_; }
  // The user's choice of a file: a picture (decoded) or, when the media types allow it, a video.
  // The delegate hears it; an error (the picker stays) when the picker is not shown or the file
  // is neither.
  Status pick(const std::filesystem::path& file);
  // The user gave up; the delegate hears it. False when the picker is not shown.
  bool cancel();

  static std::vector<std::shared_ptr<ImagePickerController>> visiblePickers();
  static void setPresenter(Presenter* presenter);

 protected:
  void showPresented(ui::Window& window) override;
  void hidePresented() override;

 private:
  ImagePickerSourceType sourceType_ = ImagePickerSourceType::PhotoLibrary;
  std::vector<std::string> mediaTypes_{kMediaTypeImage};
  bool allowsEditing_ = false;
  CameraDevice cameraDevice_ = CameraDevice::Rear;
  std::weak_ptr<Delegate> delegate_;
  bool visible_ = false;
};

}  // namespace platform::media
