// A sound for checking the mixer's samples one by one, for the native and the Wine tests alike.
#pragma once

#include "playback/engine/Pcm.h"

#include <cstddef>
#include <memory>

namespace velmora::test {

// Frame n is (n % 100 + 1) / 100 x `scale` left and its negative right: never silent, and every
// frame tells where in the sound it came from.
inline std::shared_ptr<const audio::Sound> Ramp(size_t frames, float scale) {
  auto sound = std::make_shared<audio::Sound>();
  for (size_t i = 0; i < frames; ++i) {
    const float v = scale * static_cast<float>((i % 100) + 1) / 100.0f;
    sound->samples.push_back(v);
    sound->samples.push_back(-v);
  }
  return sound;
}

}  // namespace velmora::test
