#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/ui/geometry.h"
#include "platform/ui/image.h"

namespace platform::ui {

// An image file and its size in pixels: enough for an image view to show the picture without
// keeping its pixels in memory.
struct ImageFile {
  std::filesystem::path path;
  Size size;

  bool isEmpty() const { return path.empty(); }
  bool operator==(const ImageFile&) const = default;
};

// Decodes an image file (PNG, JPEG, GIF, …) into RGBA pixels.
Result<Image> readImageFile(const std::filesystem::path& path);
// The file with its size, read from its header: the pixels aren't decoded.
Result<ImageFile> imageFileAt(const std::filesystem::path& path);
// Decodes image bytes the same way.
Result<Image> decodeImageData(const Bytes& data);
// The image as PNG bytes.
Result<Bytes> pngDataOfImage(const Image& image);

// The file of a named image in a folder, as images are named in bundles: "name" or "sub/name",
// with or without an extension (".png" when none), preferring the variant for the screen scale
// ("name@2x.png") over the plain file.
std::optional<std::filesystem::path> findNamedImage(const std::filesystem::path& folder,
                                                    std::string_view name, int scale);

}  // namespace platform::ui
