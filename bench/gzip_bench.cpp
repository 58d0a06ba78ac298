// gzip: compress 16 MB through ztm_dataByGzippingData vs the same deflate calls on zlib directly.
#include <zlib.h>

#include "bench/bench_report.h"
#include "bench/compression_data.h"
#include "toolbox/additions/zlib_additions.h"

int main() {
  const std::vector<uint8_t> input = bench::compressibleData();
  size_t sink = 0;
  const bench::Medians medians = bench::medianSecondsInTurns(
      [&] { sink += ztm_dataByGzippingData(input)->size(); },
      [&] {
        z_stream stream{};
        deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
        std::vector<uint8_t> out(deflateBound(&stream, input.size()));
        stream.next_in = const_cast<Bytef*>(input.data());
        stream.avail_in = static_cast<uInt>(input.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, Z_FINISH);
        out.resize(stream.total_out);
        deflateEnd(&stream);
        sink += out.size();
      });
  bench::report("gzip", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  return sink == 0;
}
