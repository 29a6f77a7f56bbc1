#include "playback/engine/StreamConverter.h"

#include "playback/engine/Pcm.h"

#include <algorithm>
#include <cmath>

namespace velmora::audio {

namespace {

// Silence after the sound's last frame: the x[i+1] and x[i+2] its last output frames read.
constexpr size_t kTailFrames = 2;

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
    : channels_(std::max(channels, 1)),
      rate_(static_cast<size_t>(std::max(sampleRate, 1))),
      passThrough_(sampleRate == kEngineRate),
      // Frame 0 is x[-1] of the very first frame: silence before the sound.
      pending_((kMaxPendingFrames + kTailFrames) * kEngineChannels, 0.0f) {}

size_t StreamConverter::Push(const float* in, size_t frames) {
  if (finished_) return 0;
  // Only what the next output frame reads is kept: from its x[i-1] on. The position may already
  // be past everything held (a high rate skips frames), and then counts on into what comes.
  const size_t used = std::min(index_ - 1, count_);
  if (used > 0) {
    std::copy(pending_.begin() + static_cast<std::ptrdiff_t>(used * kEngineChannels),
              pending_.begin() + static_cast<std::ptrdiff_t>(count_ * kEngineChannels), pending_.begin());
    count_ -= used;
    index_ -= used;
  }
  const size_t taken = std::min(frames, kMaxPendingFrames - count_);
  const size_t stride = static_cast<size_t>(channels_);
  for (size_t f = 0; f < taken; ++f) {
    float* frame = &pending_[(count_ + f) * kEngineChannels];
    FoldFrameToStereo(in + f * stride, channels_, frame[0], frame[1]);
  }
  count_ += taken;
  return taken;
}

void StreamConverter::Finish() {
  if (finished_) return;
  finished_ = true;
  if (passThrough_) return;  // reads nothing past the frame it copies
  std::fill_n(pending_.begin() + static_cast<std::ptrdiff_t>(count_ * kEngineChannels), kTailFrames * kEngineChannels,
              0.0f);
  count_ += kTailFrames;
}

size_t StreamConverter::Pull(float* out, size_t maxFrames) {
  size_t made = 0;
  if (passThrough_) {
    for (; made < maxFrames && index_ < count_; ++made, ++index_) {
      out[made * kEngineChannels] = Clean(pending_[index_ * kEngineChannels]);
      out[made * kEngineChannels + 1] = Clean(pending_[index_ * kEngineChannels + 1]);
    }
    return made;
  }
  // Output frames need x[i-1] .. x[i+2] around their position i + t.
  for (; made < maxFrames && index_ + 2 < count_; ++made) {
    const float* x = &pending_[(index_ - 1) * kEngineChannels];
    const float t = static_cast<float>(phase_) / static_cast<float>(kEngineRate);
    for (size_t c = 0; c < kEngineChannels; ++c) {
      out[made * kEngineChannels + c] = Clean(Hermite(x[c], x[2 + c], x[4 + c], x[6 + c], t));
    }
    phase_ += rate_;
    index_ += phase_ / kEngineRate;
    phase_ %= kEngineRate;
  }
  return made;
}

}  // namespace velmora::audio
