// What the benchmarks share: the performance counter in milliseconds, CPU use and percentiles.
#pragma once

#include "playback/engine/Clock.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::bench {

// The engine's clock, so figures compare directly with its play timings.
inline int64_t Now() { return audio::Qpc(); }

inline double TicksToMs(int64_t ticks) {
  return static_cast<double>(ticks) * 1000.0 / static_cast<double>(audio::QpcFrequency());
}

// The process's CPU time over the next `ms` milliseconds, in percent of one core.
inline double CpuPercentOver(DWORD ms) {
  FILETIME created, exited, kernel0, user0, kernel1, user1;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel0, &user0);
  const int64_t t0 = Now();
  ::Sleep(ms);
  const int64_t t1 = Now();
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel1, &user1);
  auto ticks = [](FILETIME f) { return (static_cast<int64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  const double cpuMs = static_cast<double>(ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 10000.0;
  return 100.0 * cpuMs / TicksToMs(t1 - t0);
}

// The p-quantile (0..1) of the values; -1 when there are none.
inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace velmora::bench
