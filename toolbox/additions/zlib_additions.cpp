#include "toolbox/additions/zlib_additions.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

#include "platform/foundation/log.h"

using platform::Bytes;

namespace {

enum class Wrapper { kZlib, kGzip, kRaw };

constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 8;

int windowBitsFor(Wrapper wrapper) {
  switch (wrapper) {
    case Wrapper::kGzip:
      return kWindowBits + 16;
    case Wrapper::kRaw:
      return -kWindowBits;
    case Wrapper::kZlib:
      break;
  }
  return kWindowBits;
}

// zlib's own default stays as it is; level 0 (stored, uncompressed) is never used.
int normalisedLevel(int32_t level) {
  return level == -1 ? Z_DEFAULT_COMPRESSION : std::clamp<int32_t>(level, 1, 9);
}

// zlib counts input in 32 bits.
bool acceptableInput(const void* bytes, size_t length) {
  return bytes != nullptr && length > 0 && length <= UINT_MAX;
}

// Ends the stream however the worker leaves.
struct DeflateStream {
  z_stream stream{};
  bool live = false;
  ~DeflateStream() {
    if (live) deflateEnd(&stream);
  }
};
struct InflateStream {
  z_stream stream{};
  bool live = false;
  ~InflateStream() {
    if (live) inflateEnd(&stream);
  }
};

std::optional<Bytes> compress(const void* bytes, size_t length, int32_t level, Wrapper wrapper) {
  if (!acceptableInput(bytes, length)) return std::nullopt;
  const int zlibLevel = normalisedLevel(level);
  DeflateStream deflater;
  z_stream& stream = deflater.stream;
  int status = deflateInit2(&stream, zlibLevel, Z_DEFLATED, windowBitsFor(wrapper), kMemoryLevel,
                            Z_DEFAULT_STRATEGY);
  if (status != Z_OK) {
    platform::logf("Failed to init for deflate w/ level %d, error %d", zlibLevel, status);
    return std::nullopt;
  }
  deflater.live = true;
  try {
    // deflateBound is the most the stream can take, so one call finishes it.
    Bytes out(deflateBound(&stream, static_cast<uLong>(length)));
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(bytes));
    stream.avail_in = static_cast<uInt>(length);
    size_t produced = 0;
    do {
      if (produced == out.size()) out.resize(out.size() * 2);
      const size_t room = std::min<size_t>(out.size() - produced, UINT_MAX);
      stream.next_out = out.data() + produced;
      stream.avail_out = static_cast<uInt>(room);
      status = deflate(&stream, Z_FINISH);
      if (status != Z_OK && status != Z_STREAM_END) {
        platform::logf("Error trying to deflate some of the payload, error %d", status);
        return std::nullopt;
      }
      produced += room - stream.avail_out;
    } while (status == Z_OK);
    out.resize(produced);
    return out;
  } catch (const std::bad_alloc&) {
    platform::logf("Error trying to deflate some of the payload, error %d", Z_MEM_ERROR);
    return std::nullopt;
  }
}

std::optional<Bytes> inflateAll(const void* bytes, size_t length, bool raw, size_t outputLimit) {
  if (!acceptableInput(bytes, length)) return std::nullopt;
  InflateStream inflater;
  z_stream& stream = inflater.stream;
  // 15 + 32: zlib detects a zlib or a gzip header by itself.
  int status = inflateInit2(&stream, raw ? -kWindowBits : kWindowBits + 32);
  if (status != Z_OK) {
    platform::logf("Failed to init for inflate, error %d", status);
    return std::nullopt;
  }
  inflater.live = true;
  try {
    // One byte beyond the limit is room enough to see that the limit was passed.
    const size_t cap = outputLimit == SIZE_MAX ? SIZE_MAX : outputLimit + 1;
    Bytes out(std::min(length * 4, cap));
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(bytes));
    stream.avail_in = static_cast<uInt>(length);
    size_t produced = 0;
    for (;;) {
      if (produced == out.size()) out.resize(std::min(out.size() * 2, cap));
      const size_t room = std::min<size_t>(out.size() - produced, UINT_MAX);
      stream.next_out = out.data() + produced;
      stream.avail_out = static_cast<uInt>(room);
      // Truncated input ends here too: once the input is used up, inflate reports a buffer error.
      status = inflate(&stream, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END) {
        platform::logf("Error trying to inflate some of the payload, error %d: %s", status,
                       stream.msg ? stream.msg : "(null)");
        return std::nullopt;
      }
      produced += room - stream.avail_out;
      if (produced > outputLimit) {
        platform::logf("Inflated payload exceeds the limit of %zu bytes", outputLimit);
        return std::nullopt;
      }
      if (status == Z_STREAM_END) break;
    }
    if (stream.avail_in > 0) {
      platform::logf("thought we finished inflate w/o using all input, %u bytes left",
                     stream.avail_in);
      return std::nullopt;
    }
    out.resize(produced);
    return out;
  } catch (const std::bad_alloc&) {
    platform::logf("Error trying to inflate some of the payload, error %d: %s", Z_MEM_ERROR,
                   "out of memory");
    return std::nullopt;
  }
}

}  // namespace

std::optional<Bytes> ztm_dataByGzippingBytes(const void* bytes, size_t length, int32_t level) {
  return compress(bytes, length, level, Wrapper::kGzip);
}
std::optional<Bytes> ztm_dataByGzippingData(const Bytes& data, int32_t level) {
  return ztm_dataByGzippingBytes(data.data(), data.size(), level);
}

std::optional<Bytes> ztm_dataByDeflatingBytes(const void* bytes, size_t length, int32_t level) {
  return compress(bytes, length, level, Wrapper::kZlib);
}
std::optional<Bytes> ztm_dataByDeflatingData(const Bytes& data, int32_t level) {
  return ztm_dataByDeflatingBytes(data.data(), data.size(), level);
}

std::optional<Bytes> ztm_dataByRawDeflatingBytes(const void* bytes, size_t length, int32_t level) {
  return compress(bytes, length, level, Wrapper::kRaw);
}
std::optional<Bytes> ztm_dataByRawDeflatingData(const Bytes& data, int32_t level) {
  return ztm_dataByRawDeflatingBytes(data.data(), data.size(), level);
}

std::optional<Bytes> ztm_dataByInflatingBytes(const void* bytes, size_t length,
                                              size_t outputLimit) {
  return inflateAll(bytes, length, false, outputLimit);
}
std::optional<Bytes> ztm_dataByInflatingData(const Bytes& data, size_t outputLimit) {
  return ztm_dataByInflatingBytes(data.data(), data.size(), outputLimit);
}

std::optional<Bytes> ztm_dataByRawInflatingBytes(const void* bytes, size_t length,
                                                 size_t outputLimit) {
  return inflateAll(bytes, length, true, outputLimit);
}
std::optional<Bytes> ztm_dataByRawInflatingData(const Bytes& data, size_t outputLimit) {
  return ztm_dataByRawInflatingBytes(data.data(), data.size(), outputLimit);
}
