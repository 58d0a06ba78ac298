// imagescale: decode a 12-megapixel JPEG, scale it to fit 1024 px and encode it as JPEG, through
// the camera plugin's picture path vs the same gdk-pixbuf calls written plainly.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <random>
#include <vector>

#include "Plugins/vokaru-plugin-camera/vkr_camera.h"
#include "bench/bench_report.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// A photo-like picture: smooth gradients with some noise, so JPEG has work to do.
platform::Bytes makeJPEG() {
  std::vector<uint8_t> rgba(size_t{kWidth} * kHeight * 4);
  std::mt19937 random(7);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = &rgba[(size_t{static_cast<size_t>(y)} * kWidth + x) * 4];
      const int noise = static_cast<int>(random() % 24);
      p[0] = static_cast<uint8_t>((x * 255 / kWidth + noise) & 0xff);
      p[1] = static_cast<uint8_t>((y * 255 / kHeight + noise) & 0xff);
      p[2] = static_cast<uint8_t>(((x + y) * 127 / (kWidth + kHeight) + noise) & 0xff);
      p[3] = 255;
    }
  }
  auto picture = platform::media::Picture::fromRGBA(kWidth, kHeight, rgba.data());
  return *picture->drawnInto({kWidth, kHeight}, {0, 0, kWidth, kHeight})->jpegData(0.9);
}

size_t ours(const platform::Bytes& jpeg) {
  VKRPictureOptions options;
  options.quality = 80;
  options.sourceType = kVKRPictureSourceTypePhotoLibrary;
  options.targetSize = {1024, 1024};
  platform::media::ImagePickerController::Info info;
  info.mediaType = platform::media::kMediaTypeImage;
  info.originalImage = *platform::media::Picture::decode(jpeg);
  std::optional<platform::media::Picture> image = VKRCamera::retrieveImage(info, options);
  std::optional<platform::Bytes> data = VKRCamera::processImage(*image, options);
  return data ? data->size() : 0;
}

size_t plain(const platform::Bytes& jpeg) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  gdk_pixbuf_loader_write(loader, jpeg.data(), jpeg.size(), nullptr);
  gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf* decoded = gdk_pixbuf_loader_get_pixbuf(loader);
  GdkPixbuf* scaled = gdk_pixbuf_scale_simple(decoded, 1024, 768, GDK_INTERP_BILINEAR);
  gchar* buffer = nullptr;
  gsize length = 0;
  gdk_pixbuf_save_to_buffer(scaled, &buffer, &length, "jpeg", nullptr, "quality", "80", nullptr);
  g_free(buffer);
  g_object_unref(scaled);
  g_object_unref(loader);
  return length;
}

}  // namespace

int main() {
  const platform::Bytes jpeg = makeJPEG();
  if (ours(jpeg) == 0 || plain(jpeg) == 0) return 1;
  size_t sink = 0;
  const bench::Medians medians =
      bench::medianSecondsInTurns([&] { sink += ours(jpeg); }, [&] { sink += plain(jpeg); }, 5);
  bench::report("imagescale", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  return sink == 0;
}
