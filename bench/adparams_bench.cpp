// adparams: build the device part of 10k ad requests' parameters vs copying an equal dictionary
// of the same keys 10k times (the floor: any answer must at least be a fresh dictionary).
#include "ads/foundation/device.h"
#include "bench/bench_report.h"
#include "platform/testing/test_app.h"

int main() {
  platform::testing::TestApp app("com.example.adparams",
                                 platform::Dictionary{{"CFBundleVersion", "2.1"},
                                                      {"CFBundleShortVersionString", "2.1.0"},
                                                      {"DTSDKName", "iphoneos12.1"},
                                                      {"DTPlatformName", "iphoneos"}});
  ZADDevice device;
  device.cacheStaticParameters();
  const platform::Dictionary sample = device.parameters();
  constexpr int kRequests = 10'000;
  size_t sink = 0;
  const bench::Medians medians = bench::medianSecondsInTurns(
      [&] {
        for (int i = 0; i < kRequests; ++i) sink += device.parameters().size();
      },
      [&] {
        for (int i = 0; i < kRequests; ++i) {
          platform::Dictionary copy = sample;
          sink += copy.size();
        }
      });
  bench::report("adparams", medians.ours * 1e3, medians.baseline * 1e3, "ms");
  return sink == 0;
}
