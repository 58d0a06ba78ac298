// inflate: restore 16 MB from gzip through ztm_dataByInflatingData vs zlib's inflate into a
// buffer grown as needed.
#include <zlib.h>

#include "bench/bench_report.h"
#include "bench/compression_data.h"
#include "toolbox/additions/zlib_additions.h"

int main() {
  const std::vector<uint8_t> input = bench::compressibleData();
  const std::vector<uint8_t> gz = *ztm_dataByGzippingData(input);
  size_t sink = 0;
  const bench::Medians medians = bench::medianSecondsInTurns(
      [&] { sink += ztm_dataByInflatingData(gz)->size(); },
      [&] {
        z_stream stream{};
        inflateInit2(&stream, 15 + 32);
        std::vector<uint8_t> out(gz.size() * 4);
        stream.next_in = const_cast<Bytef*>(gz.data());
        stream.avail_in = static_cast<uInt>(gz.size());
        int status = Z_OK;
        while (status == Z_OK) {
          if (stream.total_out == out.size()) out.resize(out.size() * 2);
          stream.next_out = out.data() + stream.total_out;
          stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
          status = inflate(&stream, Z_NO_FLUSH);
        }
        out.resize(stream.total_out);
        inflateEnd(&stream);
        sink += out.size();
      });
  bench::report("inflate", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  return sink == 0;
}
