// A capture device and an output device whose clocks disagree, simulated through a LiveInput with
// no device and no sleeping: 10 ms packets in on the capture clock, 10 ms periods out on the
// output's. The input is a 440 Hz sine at 0.5.
#pragma once

#include <cstdint>

namespace velmora::test {

struct DriftResult {
  double maxFillErrorMs = 0;  // the reader's smoothed fill against its target, worst case
  uint64_t underruns = 0;
  uint64_t skips = 0;
  double maxStep = 0;       // the largest jump between two output samples (a click shows here)
  double endAmplitude = 0;  // the sine's amplitude in the last 100 ms
};

// `drift`: how much faster the capture clock runs (0.001 = 0.1 %; negative: slower).
DriftResult SimulateDrift(double drift, double seconds);

}  // namespace velmora::test
