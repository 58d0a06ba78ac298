#pragma once

// Timing helpers shared by the benchmarks: each measures our path and the raw library path in
// the same run and prints one line, "name: ours X UNIT, baseline Y UNIT, ratio R".

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// Median wall time in seconds of `runs` calls of `work` (after one warm-up call).
inline double medianSeconds(const std::function<void()>& work, int runs = 7) {
  work();
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// ratio = ours / baseline: for times lower is better, for rates higher is better.
inline void report(const std::string& name, double ours, double baseline, const std::string& unit) {
  std::printf("%s: ours %.4g %s, baseline %.4g %s, ratio %.3f\n", name.c_str(), ours, unit.c_str(),
              baseline, unit.c_str(), baseline > 0 ? ours / baseline : 0.0);
  std::fflush(stdout);
}

}  // namespace bench
