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

// The median of some measurements.
inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Wall time in seconds of one call of `work`.
inline double timeSeconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Median wall time in seconds of `runs` calls of `work` (after one warm-up call).
inline double medianSeconds(const std::function<void()>& work, int runs = 7) {
  work();
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(timeSeconds(work));
  return median(std::move(times));
}

// Median wall times in seconds of `ours` and of `baseline`, called in turns `runs` times each
// (after one warm-up call each), so load that comes and goes during the run weighs on both alike.
// `beforeOurs`, untimed, readies what each call of `ours` takes over (input the caller would have
// in hand, as the baseline has its own).
struct Medians {
  double ours;
  double baseline;
};
inline Medians medianSecondsInTurns(const std::function<void()>& ours,
                                    const std::function<void()>& baseline, int runs = 9,
                                    const std::function<void()>& beforeOurs = nullptr) {
  const auto timed = [](const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const auto median = [](std::vector<double>& times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  };
  if (beforeOurs) beforeOurs();
  ours();
  baseline();
  std::vector<double> oursTimes, baselineTimes;
  for (int i = 0; i < runs; ++i) {
    if (beforeOurs) beforeOurs();
    oursTimes.push_back(timed(ours));
    baselineTimes.push_back(timed(baseline));
  }
  return {median(oursTimes), median(baselineTimes)};
}

// ratio = ours / baseline: for times lower is better, for rates higher is better.
inline void report(const std::string& name, double ours, double baseline, const std::string& unit) {
  std::printf("%s: ours %.4g %s, baseline %.4g %s, ratio %.3f\n", name.c_str(), ours, unit.c_str(),
              baseline, unit.c_str(), baseline > 0 ? ours / baseline : 0.0);
  std::fflush(stdout);
}

}  // namespace bench
