// Piece-by-piece conversion of a long sound to the render format (stereo, 44,100 Hz), keeping
// the state between pieces so the seams are inaudible. Long files are played while they
// decode, so this runs continuously and uses cubic (4-point Hermite) interpolation, not the
// windowed-sinc filter that loads short effects. Pure logic.
//
// Source frames go in with Push and converted frames come out with Pull, each call bounded: the
// converter holds at most kMaxPendingFrames source frames, and a Pull makes no more frames than
// it is asked for. An 8 kHz piece of any size thus never turns into one unbounded burst of work
// or memory (each of its frames makes five and a half at 44.1 kHz).
#pragma once

#include <cstddef>
#include <vector>

namespace velmora::audio {

class StreamConverter {
 public:
  StreamConverter(int channels, int sampleRate);

  // The most source frames held at once (two channels of float each, whatever the source's).
  static constexpr size_t kMaxPendingFrames = 4096;

  // Takes from `frames` interleaved frames of the source layout as many as there is room for,
  // folded to stereo; how many it took. 0 while what it holds is still to be pulled, and once
  // Finish was called.
  size_t Push(const float* in, size_t frames);
  // The source has ended: its last frames are converted as if silence followed, so the whole
  // sound comes out (the same length as ToEngineFormat makes it).
  void Finish();
  // Writes up to `maxFrames` stereo frames to `out`; how many. 0 when it needs more input, or
  // after Finish when everything is out.
  size_t Pull(float* out, size_t maxFrames);
  // Source frames taken and not yet used up (a few stay for the frames around the next one).
  size_t Pending() const { return count_; }

 private:
  int channels_;
  size_t rate_;
  bool passThrough_;
  bool finished_ = false;
  // Stereo source frames still needed, the first one is x[-1]; sized once, holds count_ frames.
  std::vector<float> pending_;
  size_t count_ = 1;
  // Position of the next output frame in pending_: index_ + phase_ / 44100, kept exact so the
  // output does not depend on how the input was cut into pieces and never drifts.
  size_t index_ = 1;
  size_t phase_ = 0;
};

}  // namespace velmora::audio
