// What the benchmarks share: the performance counter in milliseconds and percentiles.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::bench {

inline int64_t Now() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return t.QuadPart;
}

inline double TicksToMs(int64_t ticks) {
  LARGE_INTEGER f;
  ::QueryPerformanceFrequency(&f);
  return static_cast<double>(ticks) * 1000.0 / static_cast<double>(f.QuadPart);
}

// The p-quantile (0..1) of the values; -1 when there are none.
inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace velmora::bench
