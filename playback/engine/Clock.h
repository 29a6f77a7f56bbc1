// The engine's clock: QueryPerformanceCounter ticks, which stamp plays, writes and start times.
#pragma once

#include <windows.h>

#include <cstdint>

namespace velmora::audio {

inline int64_t Qpc() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return t.QuadPart;
}

inline int64_t QpcFrequency() {
  LARGE_INTEGER f;
  ::QueryPerformanceFrequency(&f);
  return f.QuadPart;
}

}  // namespace velmora::audio
