#include "platform/media/image_picker_controller.h"

#include <algorithm>

#include "platform/foundation/url.h"
#include "platform/media/mime_type.h"
#include "platform/media/photo_library.h"

namespace platform::media {

namespace {

std::vector<std::shared_ptr<ImagePickerController>>& visible() {
  static auto* pickers = new std::vector<std::shared_ptr<ImagePickerController>>();  // process
  return *pickers;
}

ImagePickerController::Presenter*& presenter() {
  static ImagePickerController::Presenter* current = nullptr;
  return current;
}

bool offers(const std::vector<std::string>& types, const char* type) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

Error unsupported(const std::filesystem::path& file, const std::string& why) {
  return Error::withDescription(kImagePickerErrorDomain, kImagePickerUnsupportedFile,
                                file.filename().string() + " can't be picked: " + why);
}

}  // namespace

bool ImagePickerController::isSourceTypeAvailable(ImagePickerSourceType source) {
  return source == ImagePickerSourceType::PhotoLibrary ||
         source == ImagePickerSourceType::SavedPhotosAlbum;
}

std::vector<std::string> ImagePickerController::availableMediaTypesForSourceType(
    ImagePickerSourceType source) {
  if (!isSourceTypeAvailable(source)) return {};
  return {kMediaTypeImage, kMediaTypeMovie};
}

std::filesystem::path ImagePickerController::folder() const { return PhotoLibrary::folder(); }

Status ImagePickerController::pick(const std::filesystem::path& file) {
  if (!visible_) {
    return Error::withDescription(kImagePickerErrorDomain, kImagePickerNotVisible,
                                  "The picker is not shown.");
  }
  Info info;
  info.referenceURL = PhotoLibrary::assetURLForFile(file);
  const std::string mime = mimeTypeForExtension(pathExtension(file.string())).value_or("");
  if (mime.starts_with("video/")) {
    if (!offers(mediaTypes_, kMediaTypeMovie)) return unsupported(file, "videos are not asked for");
    Result<URL> url = URL::fileURL(std::filesystem::absolute(file).string());
    if (!url) return url.error();
    info.mediaType = kMediaTypeMovie;
    info.mediaURL = url->absoluteString();
  } else {
    if (!offers(mediaTypes_, kMediaTypeImage))
      return unsupported(file, "pictures are not asked for");
    Result<Picture> picture = Picture::readFile(file);
    if (!picture) return unsupported(file, picture.error().description());
    info.mediaType = kMediaTypeImage;
    info.originalImage = *picture;
  }
  auto keepAlive = shared_from_this();
  if (auto delegate = delegate_.lock()) delegate->imagePickerDidFinishPicking(*this, info);
  return okStatus();
}

bool ImagePickerController::cancel() {
  if (!visible_) return false;
  auto keepAlive = shared_from_this();
  if (auto delegate = delegate_.lock()) delegate->imagePickerDidCancel(*this);
  return true;
}

void ImagePickerController::showPresented(ui::Window& window) {
  ViewController::showPresented(window);
  visible_ = true;
  auto self = std::static_pointer_cast<ImagePickerController>(shared_from_this());
  visible().push_back(self);
  if (presenter()) presenter()->showPicker(self);
}

void ImagePickerController::hidePresented() {
  ViewController::hidePresented();
  if (!visible_) return;
  visible_ = false;
  auto keepAlive = shared_from_this();
  std::erase_if(visible(), [this](const auto& picker) { return picker.get() == this; });
  if (presenter()) presenter()->closePicker(*this);
}

std::vector<std::shared_ptr<ImagePickerController>> ImagePickerController::visiblePickers() {
  return visible();
}

void ImagePickerController::setPresenter(Presenter* current) { presenter() = current; }

}  // namespace platform::media
