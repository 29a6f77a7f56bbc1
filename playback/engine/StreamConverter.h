// Piece-by-piece conversion of a long sound to the render format (stereo, 44,100 Hz), keeping
// the state between pieces so the seams are inaudible. Long files are played while they
// decode, so this runs continuously and uses cubic (4-point Hermite) interpolation, not the
// windowed-sinc filter that loads short effects. Pure logic.
#pragma once

#include <cstddef>
#include <vector>

namespace velmora::audio {

class StreamConverter {
 public:
  StreamConverter(int channels, int sampleRate);

  // Converts `frames` interleaved frames of the source layout; appends stereo frames to `out`.
  void Convert(const float* in, size_t frames, std::vector<float>& out);

 private:
  int channels_;
  int rate_;
  bool passThrough_;
  std::vector<float> pending_;  // stereo source frames still needed, the first one is x[-1]
  // Position of the next output frame in pending_: index_ + phase_ / 44100, kept exact so the
  // output does not depend on how the input was cut into pieces and never drifts.
  size_t index_ = 1;
  int phase_ = 0;
};

}  // namespace velmora::audio
