// Arbitrary JPEG bytes through the EXIF splice: never a read past the data; the output is either
// the input unchanged or holds the new block in place of the old segments.
#include <cstdlib>

#include "Plugins/vokaru-plugin-camera/vkr_jpeg_header_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const VKRJpegHeaderWriter writer;
  static const std::string block = *writer.createExifAPP1(
      {{"{TIFF}", platform::Value::dictionary({{"Make", "Fuzz"}, {"XResolution", 72.5}})}});
  const platform::Bytes jpeg(data, data + size);
  const platform::Bytes out = writer.spliceExifBlockIntoJpeg(jpeg, block);
  if (out.size() > jpeg.size() + (jpeg.size() / 4 + 1) * block.size() / 2) std::abort();
  return 0;
}
