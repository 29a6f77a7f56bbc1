// What the fuzz targets share: each target's entry point, the check that aborts on a broken
// promise (so libFuzzer keeps the input as a crash), sizes drawn from a few of the input's bytes,
// and what every decoder promises on any input.
#pragma once

#include "playback/engine/Decoders.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

// A target's entry point. scripts/fuzz.sh builds each target on its own, and libFuzzer calls it
// by its one name; the native unit tests link every target into one program and replay the kept
// inputs (tests/fuzz/regressions/<kind>/) through each, so there it is named after its kind.
#ifdef VELMORA_FUZZ_REPLAY
#define VELMORA_FUZZ_TARGET(kind) int VelmoraFuzz_##kind(const uint8_t* data, size_t size)
#else
#define VELMORA_FUZZ_TARGET(kind) extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#endif

namespace velmora::audio::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// Sizes of pieces, reads or pulls, drawn from a seed the input gives: mostly a handful of frames
// or a few hundred, now and then thousands, once in a while more than anything holds at once.
class PieceSizes {
 public:
  static constexpr size_t kMost = 300000;

  explicit PieceSizes(uint32_t seed) : state_(seed) {}
  size_t Next() {
    state_ = state_ * 1103515245u + 12345u;
    const uint32_t r = state_ >> 8;
    switch (r & 3) {
      case 0:
        return 1 + (r >> 2) % 8;
      case 1:
        return 1 + (r >> 2) % 700;
      case 2:
        return 1 + (r >> 2) % 10000;
      default:
        return 1 + (r >> 2) % kMost;
    }
  }

 private:
  uint32_t state_;
};

// A source's rate from three of the input's bytes: one the engine takes as it is, anything else
// one of the common rates.
inline int SourceRate(uint32_t value) {
  constexpr int kCommon[] = {8000,  11025, 12000, 16000,  22050,  24000,  32000, 44100,
                             48000, 88200, 96000, 176400, 192000, 352800, 384000};
  const auto rate = static_cast<int>(value & 0xFFFFFF);
  return AcceptedFormat(1, rate) ? rate : kCommon[static_cast<size_t>(rate) % std::size(kCommon)];
}

// A little-endian number from the front of the input, which is then taken off; 0 past its end.
inline uint32_t TakeBytes(const uint8_t*& data, size_t& size, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes && size > 0; ++i, ++data, --size) value |= uint32_t{*data} << (8 * i);
  return value;
}

inline void CheckSamples(const std::vector<float>& samples) {
  for (const float v : samples) Require(std::isfinite(v) && v >= -1.0f && v <= 1.0f);
}

// `decoded` is what the decoder returned; `maxChannels` its documented channel limit.
inline void CheckDecodeAndConvert(bool decoded, const PcmBuffer& pcm, int maxChannels) {
  if (!decoded) {
    Require(pcm.channels == 0 && pcm.sampleRate == 0 && pcm.samples.empty());
    return;
  }
  Require(pcm.channels <= maxChannels && AcceptedFormat(pcm.channels, pcm.sampleRate));
  Require(!pcm.samples.empty() && pcm.samples.size() % static_cast<size_t>(pcm.channels) == 0);
  Require(pcm.Frames() <= kMaxSourceFrames);
  CheckSamples(pcm.samples);

  Sound sound;
  if (ToEngineFormat(pcm, sound)) {
    Require(!sound.samples.empty() && sound.samples.size() % kEngineChannels == 0);
    Require(sound.Frames() <= kMaxSourceFrames);
    CheckSamples(sound.samples);
  } else {
    Require(sound.samples.empty());
  }
}

}  // namespace velmora::audio::fuzz
