// Decoded audio as the engine keeps it, and the conversion every decoder's output goes through.
// Pure logic: no Windows calls, so it builds natively for fuzzing too.
#pragma once

#include "playback/engine/Loudness.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::audio {

// The render format: interleaved stereo 32-bit float at 44,100 Hz.
inline constexpr int kEngineRate = 44100;
inline constexpr int kEngineChannels = 2;

// No decoder produces more than this many source frames (about 10 minutes at 48 kHz), so a
// lying header or a hostile file cannot make it allocate without bound.
inline constexpr size_t kMaxSourceFrames = size_t{48000} * 600;

// The sources the engine plays: 8,000 to 384,000 frames a second, one to eight channels. A file
// outside these (a header that says 1 Hz, or 40 channels) is refused as a file that cannot be
// opened, before anything is sized from it.
inline constexpr int kMinSourceRate = 8000;
inline constexpr int kMaxSourceRate = 384000;
inline constexpr int kMaxSourceChannels = 8;
constexpr bool AcceptedFormat(int channels, int sampleRate) {
  return channels >= 1 && channels <= kMaxSourceChannels && sampleRate >= kMinSourceRate &&
         sampleRate <= kMaxSourceRate;
}

// What a decoder hands back: interleaved float samples in [-1, 1] at the file's own rate and
// channel count.
struct PcmBuffer {
  int channels = 0;
  int sampleRate = 0;
  std::vector<float> samples;  // frames * channels values

  size_t Frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// A sound ready for the render thread: stereo, 44,100 Hz, with its loudness measured once when
// it was decoded, so a cached sound is leveled without being measured again.
struct Sound {
  std::vector<float> samples;  // interleaved L R
  LoudnessInfo loudness;
  size_t Frames() const { return samples.size() / kEngineChannels; }
  size_t Bytes() const { return samples.size() * sizeof(float); }
};

// One frame of the source layout folded to stereo: the front pair, plus the front centre at
// -3 dB where the third channel is the centre (3.0, 5.0, 5.1, 6.1, 7.1); non-finite samples
// become silence.
void FoldFrameToStereo(const float* frame, int channels, float& left, float& right);

// Mono goes to both sides; more than two channels are folded to the front pair; any rate is
// resampled to 44,100 Hz. False for an empty or malformed buffer, or one AcceptedFormat refuses.
bool ToEngineFormat(const PcmBuffer& in, Sound& out);

}  // namespace velmora::audio
