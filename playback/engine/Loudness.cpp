#include "playback/engine/Loudness.h"

#include <algorithm>
#include <cmath>

namespace velmora::audio {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kRelativeGateLu = -10.0;
constexpr size_t kStepsPerBlock = 4;  // 400 ms blocks, 75 % overlap

// The bilinear transform's prewarped corner: tan(pi f0 / rate), the analogue corner placed exactly
// at f0. Below 3,364 Hz the shelf's 1.68 kHz corner lies above the Nyquist frequency, where the
// tangent wraps round to negative and infinite values and the filter's poles leave the unit
// circle: its output grows without bound, the sound reads hundreds of LUFS and leveling turns
// it down to silence. The engine takes no rate that low, but the meter is given whatever a source
// says, so the corner is held below Nyquist; any positive tangent keeps the poles inside.
double Prewarped(double hz, int rate) { return std::tan(kPi * std::min(hz / rate, 0.45)); }

// BS.1770's loudness of a mean square (summed over the channels, each weighted 1). The -0.691
// makes a 997 Hz sine read its RMS level: it cancels the K-weighting's gain there.
double Lufs(double meanSquare) { return -0.691 + 10.0 * std::log10(meanSquare); }

}  // namespace

LoudnessMeter::LoudnessMeter(int sampleRate)
    : rate_(std::max(sampleRate, 1)), stepFrames_(std::max<size_t>(1, static_cast<size_t>(std::lround(rate_ / 10.0)))) {
  // The standard gives both filters' coefficients for 48 kHz only; these are the analogue
  // prototypes they come from (a shelf of +4 dB above about 1.7 kHz, a second-order high-pass at
  // 38 Hz), put through the bilinear transform for our rate. At 48 kHz they give the table.
  {
    const double k = Prewarped(1681.974450955533, rate_);
    const double q = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    shelf_.b0 = (vh + vb * k / q + k * k) / a0;
    shelf_.b1 = 2.0 * (k * k - vh) / a0;
    shelf_.b2 = (vh - vb * k / q + k * k) / a0;
    shelf_.a1 = 2.0 * (k * k - 1.0) / a0;
    shelf_.a2 = (1.0 - k / q + k * k) / a0;
  }
  {
    const double k = Prewarped(38.13547087602444, rate_);
    const double q = 0.5003270373238773;
    const double a0 = 1.0 + k / q + k * k;
    highPass_.a1 = 2.0 * (k * k - 1.0) / a0;
    highPass_.a2 = (1.0 - k / q + k * k) / a0;
  }
}

void LoudnessMeter::Add(const float* stereo, size_t frames) {
  // The filters' state is held in locals for the length of a step, both channels in one loop:
  // the recursions of the two channels then overlap, and the meter runs at a few milliseconds
  // per minute of audio.
  const Biquad s = shelf_, h = highPass_;
  for (size_t f = 0; f < frames;) {
    const size_t n = std::min(frames - f, stepFrames_ - inStep_);
    double sx1[2], sx2[2], sy1[2], sy2[2], hy1[2], hy2[2];
    for (int c = 0; c < 2; ++c) {
      sx1[c] = shelf_.x1[c], sx2[c] = shelf_.x2[c], sy1[c] = shelf_.y1[c], sy2[c] = shelf_.y2[c];
      hy1[c] = highPass_.y1[c], hy2[c] = highPass_.y2[c];
    }
    double energy = 0;
    float peak = peak_;
    for (const float* in = stereo + f * 2; in < stereo + (f + n) * 2; in += 2) {
      for (int c = 0; c < 2; ++c) {
        // A broken sample counts as silence, as the engine plays it.
        const float sample = std::isfinite(in[c]) ? in[c] : 0.0f;
        peak = std::max(peak, std::fabs(sample));
        const double x = sample;
        const double shelved = s.b0 * x + s.b1 * sx1[c] + s.b2 * sx2[c] - s.a1 * sy1[c] - s.a2 * sy2[c];
        sx2[c] = sx1[c];
        sx1[c] = x;
        // The high-pass's input is the shelf's output: its x1, x2 are the shelf's y1, y2.
        const double weighted = shelved - 2.0 * sy1[c] + sy2[c] - h.a1 * hy1[c] - h.a2 * hy2[c];
        sy2[c] = sy1[c];
        sy1[c] = shelved;
        hy2[c] = hy1[c];
        hy1[c] = weighted;
        energy += weighted * weighted;
      }
    }
    for (int c = 0; c < 2; ++c) {
      shelf_.x1[c] = sx1[c], shelf_.x2[c] = sx2[c], shelf_.y1[c] = sy1[c], shelf_.y2[c] = sy2[c];
      highPass_.y1[c] = hy1[c], highPass_.y2[c] = hy2[c];
    }
    peak_ = peak;
    stepEnergy_ += energy;
    inStep_ += n;
    f += n;
    if (inStep_ == stepFrames_) {
      steps_.push_back(stepEnergy_);
      stepEnergy_ = 0;
      inStep_ = 0;
    }
  }
  frames_ += frames;
}

LoudnessInfo LoudnessMeter::Result() const {
  LoudnessInfo info;
  info.peak = peak_;
  if (steps_.size() < kStepsPerBlock) return info;
  const size_t blocks = steps_.size() - kStepsPerBlock + 1;
  const double blockFrames = static_cast<double>(stepFrames_ * kStepsPerBlock);
  std::vector<double> power(blocks);
  double window = steps_[0] + steps_[1] + steps_[2];
  for (size_t j = 0; j < blocks; ++j) {
    window += steps_[j + kStepsPerBlock - 1];
    power[j] = window / blockFrames;
    window -= steps_[j];
  }
  // The mean power of the blocks above a gate; 0 when none is.
  const auto gatedMean = [&](double gateLufs) {
    double sum = 0;
    size_t count = 0;
    for (const double p : power) {
      if (p > 0 && Lufs(p) > gateLufs) {
        sum += p;
        ++count;
      }
    }
    return count > 0 ? sum / static_cast<double>(count) : 0.0;
  };
  const double absolute = gatedMean(kAbsoluteGateLufs);
  if (absolute <= 0) return info;
  const double relativeGate = std::max(kAbsoluteGateLufs, Lufs(absolute) + kRelativeGateLu);
  const double gated = gatedMean(relativeGate);
  if (gated <= 0) return info;
  info.lufs = static_cast<float>(Lufs(gated));
  return info;
}

LoudnessInfo MeasureLoudness(const float* stereo, size_t frames, int sampleRate) {
  LoudnessMeter meter(sampleRate);
  meter.Add(stereo, frames);
  return meter.Result();
}

float LevelingGain(const LoudnessInfo& info) {
  if (!info.Measured()) return 1.0f;
  const float db = std::min(kLevelingTargetLufs - info.lufs, kMaxLevelingBoostDb);
  float gain = std::pow(10.0f, db / 20.0f);
  if (info.peak > 0) gain = std::min(gain, std::pow(10.0f, kLevelingCeilingDbfs / 20.0f) / info.peak);
  return std::clamp(gain, 0.0f, kMaxLevelingGain);
}

}  // namespace velmora::audio
