#include "playback/engine/StreamConverter.h"

#include "playback/engine/Pcm.h"

#include <algorithm>
#include <cmath>

namespace velmora::audio {

namespace {

float Clean(float v) { return std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f; }

float Hermite(float xm1, float x0, float x1, float x2, float t) {
  const float c = (x1 - xm1) * 0.5f;
  const float v = x0 - x1;
  const float w = c + v;
  const float a = w + v + (x2 - x0) * 0.5f;
  const float b = w + a;
  return ((a * t - b) * t + c) * t + x0;
}

}  // namespace

StreamConverter::StreamConverter(int channels, int sampleRate)
    : channels_(std::max(channels, 1)), rate_(std::max(sampleRate, 1)), passThrough_(sampleRate == kEngineRate) {
  pending_.assign(2, 0.0f);  // x[-1] of the very first frame: silence before the sound
}

void StreamConverter::Convert(const float* in, size_t frames, std::vector<float>& out) {
  const size_t first = pending_.size();
  pending_.resize(first + frames * 2);
  for (size_t f = 0; f < frames; ++f) {
    float l = 0;
    float r = 0;
    FoldFrameToStereo(in + f * static_cast<size_t>(channels_), channels_, l, r);
    pending_[first + 2 * f] = l;
    pending_[first + 2 * f + 1] = r;
  }
  const size_t available = pending_.size() / 2;
  if (passThrough_) {
    // Frame 0 of pending_ is the x[-1] guard; everything after it goes out unchanged.
    for (size_t i = 2; i < pending_.size(); ++i) out.push_back(Clean(pending_[i]));
    pending_.erase(pending_.begin(), pending_.end() - 2);
    return;
  }
  // Output frames need x[i-1] .. x[i+2] around their position i + t.
  while (index_ + 2 < available) {
    const size_t i = index_;
    const float t = static_cast<float>(phase_) / static_cast<float>(kEngineRate);
    for (size_t c = 0; c < 2; ++c) {
      out.push_back(Clean(Hermite(pending_[(i - 1) * 2 + c], pending_[i * 2 + c], pending_[(i + 1) * 2 + c],
                                  pending_[(i + 2) * 2 + c], t)));
    }
    phase_ += rate_;
    index_ += static_cast<size_t>(phase_ / kEngineRate);
    phase_ %= kEngineRate;
  }
  // Keep from x[i-1] of the next output frame on.
  const size_t keepFrom = std::min(index_ - 1, available);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(keepFrom * 2));
  index_ -= keepFrom;
}

}  // namespace velmora::audio
