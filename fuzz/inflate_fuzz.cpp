// Arbitrary bytes through inflate (zlib/gzip detected, and raw): never a crash, never more than
// the output limit; whatever inflates must compress and inflate back to the same bytes.
#include <cstdlib>

#include "platform/foundation/log.h"
#include "toolbox/additions/zlib_additions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (platform::setConsoleLogging(false), true);
  (void)quiet;
  if (size == 0) return 0;
  constexpr size_t kLimit = 1 << 20;
  const bool raw = data[0] & 1;
  std::optional<platform::Bytes> out = raw ? ztm_dataByRawInflatingBytes(data + 1, size - 1, kLimit)
                                           : ztm_dataByInflatingBytes(data + 1, size - 1, kLimit);
  if (!out) return 0;
  if (out->size() > kLimit) std::abort();
  if (out->empty()) return 0;  // an empty stream: compressing nothing gives nothing
  std::optional<platform::Bytes> gz = ztm_dataByGzippingData(*out, 1);
  if (!gz || ztm_dataByInflatingData(*gz, kLimit) != out) std::abort();
  return 0;
}
