// What every decoder promises on any input, checked after each fuzz run. A broken promise
// aborts, so libFuzzer keeps the input as a crash.
#pragma once

#include "playback/engine/Decoders.h"

#include <cmath>
#include <cstdlib>

namespace velmora::audio::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
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
  Require(pcm.channels >= 1 && pcm.channels <= maxChannels);
  Require(pcm.sampleRate >= 1 && pcm.sampleRate <= 768000);
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
