// json: decode and re-encode a 1 MB command batch through Value vs nlohmann/json alone.
#include <nlohmann/json.hpp>

#include "bench/bench_report.h"
#include "platform/foundation/json.h"
#include "platform/foundation/log.h"

namespace {
std::string makeBatch(size_t targetBytes) {
  std::string batch = "[";
  for (int i = 0; batch.size() < targetBytes; ++i) {
    if (i) batch += ',';
    batch += "[\"Plugin" + std::to_string(i) + "\",\"Device\",\"getInfo\",[\"arg/" +
             std::to_string(i) + "\",42,3.5,true,null,{\"k\":\"v\\u00e9\",\"n\":[1,2,3]}]]";
  }
  return batch + "]";
}
}  // namespace

int main() {
  const std::string batch = makeBatch(1 << 20);
  size_t sink = 0;
  double ours = bench::medianSeconds([&] {
    platform::Result<platform::Value> value = platform::parseJSON(batch);
    sink += platform::toJSON(*value)->size();
  });
  double baseline = bench::medianSeconds([&] {
    nlohmann::json value = nlohmann::json::parse(batch);
    sink += value.dump().size();
  });
  bench::report("json", ours * 1e3, baseline * 1e3, "ms");
  return sink == 0;
}
