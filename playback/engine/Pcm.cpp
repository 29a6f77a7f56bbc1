// Every decoder's output ends up here: folded to stereo, then resampled to 44,100 Hz with a
// windowed-sinc filter. This runs once per file when a sound is loaded, never on the render
// thread, so it can afford a proper filter instead of linear interpolation (which dulls the
// top octave and lets everything above 22 kHz alias back into the audible band).
#include "playback/engine/Pcm.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace velmora::audio {
namespace {

// No converted sound may be longer than the longest source a decoder will hand over; this also
// stops a tiny file that claims a 1 Hz rate from turning into gigabytes of output.
constexpr size_t kMaxEngineFrames = kMaxSourceFrames;

// -3 dB: the usual gain when a front centre is shared between left and right.
constexpr float kCentreGain = 0.70710678f;

// Filter shape. 16 zero crossings each side with a Kaiser window (beta 7, about 70 dB of
// stopband) costs ~35 multiply-adds per output sample when upsampling. The cutoff sits a little
// below the lower Nyquist frequency so the transition band ends before it, not after.
constexpr int kZeroCrossings = 16;
constexpr int kStepsPerCrossing = 512;
constexpr double kKaiserBeta = 7.0;
constexpr double kRolloff = 0.92;
constexpr double kPi = 3.14159265358979323846;

float Sanitize(float value) {
  if (!std::isfinite(value)) return 0.0f;
  if (value > 1.0f) return 1.0f;
  if (value < -1.0f) return -1.0f;
  return value;
}

// Zeroth-order modified Bessel function, for the Kaiser window.
double BesselI0(double x) {
  double sum = 1.0;
  double term = 1.0;
  const double quarterSquare = x * x / 4.0;
  for (int k = 1; k < 64; ++k) {
    term *= quarterSquare / (static_cast<double>(k) * static_cast<double>(k));
    sum += term;
    if (term < sum * 1e-12) break;
  }
  return sum;
}

// sinc(t) * window(t) for t in [0, kZeroCrossings], sampled kStepsPerCrossing times per zero
// crossing; one extra zero at the end so interpolation never reads past the table.
class SincTable {
 public:
  SincTable() : m_values(static_cast<size_t>(kZeroCrossings * kStepsPerCrossing) + 2, 0.0f) {
    const double norm = BesselI0(kKaiserBeta);
    const int last = kZeroCrossings * kStepsPerCrossing;
    for (int i = 0; i <= last; ++i) {
      const double t = static_cast<double>(i) / kStepsPerCrossing;
      const double sinc = i == 0 ? 1.0 : std::sin(kPi * t) / (kPi * t);
      const double r = t / kZeroCrossings;
      const double window = BesselI0(kKaiserBeta * std::sqrt(std::fmax(0.0, 1.0 - r * r))) / norm;
      m_values[static_cast<size_t>(i)] = static_cast<float>(sinc * window);
    }
  }

  // t in zero crossings, t >= 0.
  double At(double t) const {
    const double position = t * kStepsPerCrossing;
    const size_t index = static_cast<size_t>(position);
    if (index >= m_values.size() - 1) return 0.0;
    const double frac = position - static_cast<double>(index);
    const double a = m_values[index];
    const double b = m_values[index + 1];
    return a + (b - a) * frac;
  }

 private:
  std::vector<float> m_values;
};

const SincTable& Table() {
  static const SincTable table;
  return table;
}

// Folds the source layout to two planar channels at the source rate. Non-finite samples
// become silence here so they cannot smear across the filter later.
//
// Beyond stereo only the front pair is kept, plus the front centre at -3 dB for the layouts
// whose third channel is the centre in the WAVE order (3.0, 5.0, 5.1, 6.1, 7.1). Quad's third
// channel is a rear speaker, and counts above 8 have no agreed order, so those keep only the
// front pair. Surrounds and LFE are dropped: folding them in mostly adds mud to short effects.
void FoldToStereo(const PcmBuffer& in, size_t frames, std::vector<float>& left, std::vector<float>& right) {
  const size_t channels = static_cast<size_t>(in.channels);
  const bool mixCentre = in.channels == 3 || (in.channels >= 5 && in.channels <= 8);
  const auto clean = [](float v) { return std::isfinite(v) ? v : 0.0f; };
  for (size_t f = 0; f < frames; ++f) {
    const float* frame = &in.samples[f * channels];
    if (channels == 1) {
      left[f] = right[f] = clean(frame[0]);
      continue;
    }
    float l = clean(frame[0]);
    float r = clean(frame[1]);
    if (mixCentre) {
      const float c = clean(frame[2]) * kCentreGain;
      l += c;
      r += c;
    }
    left[f] = l;
    right[f] = r;
  }
}

// Band-limited resampling of one planar channel into every second slot of `out`.
// Output frame j sits at source position j * inRate / kEngineRate, kept as an exact fraction
// so long files do not drift. The filter's cutoff follows the lower of the two rates.
void ResampleChannel(const std::vector<float>& source, int inRate, float* out, size_t outFrames) {
  const SincTable& table = Table();
  const double ratio = static_cast<double>(kEngineRate) / static_cast<double>(inRate);
  const double cutoff = kRolloff * (ratio < 1.0 ? ratio : 1.0);  // fraction of the source Nyquist
  const double halfWidth = kZeroCrossings / cutoff;               // in source samples
  const int64_t last = static_cast<int64_t>(source.size()) - 1;
  const uint64_t rate = static_cast<uint64_t>(inRate);

  for (size_t j = 0; j < outFrames; ++j) {
    const uint64_t numerator = static_cast<uint64_t>(j) * rate;
    const int64_t whole = static_cast<int64_t>(numerator / kEngineRate);
    const double frac = static_cast<double>(numerator % kEngineRate) / kEngineRate;
    const double position = static_cast<double>(whole) + frac;

    int64_t first = static_cast<int64_t>(std::ceil(position - halfWidth));
    int64_t end = static_cast<int64_t>(std::floor(position + halfWidth));
    if (first < 0) first = 0;
    if (end > last) end = last;

    double sum = 0.0;
    for (int64_t k = first; k <= end; ++k) {
      const double distance = std::fabs(static_cast<double>(k - whole) - frac);
      sum += source[static_cast<size_t>(k)] * table.At(distance * cutoff);
    }
    out[2 * j] = Sanitize(static_cast<float>(sum * cutoff));
  }
}

}  // namespace

bool ToEngineFormat(const PcmBuffer& in, Sound& out) {
  out.samples.clear();
  if (in.channels <= 0 || in.sampleRate <= 0 || in.samples.empty()) return false;
  const size_t channels = static_cast<size_t>(in.channels);
  if (in.samples.size() % channels != 0) return false;  // a torn last frame means a broken decoder
  const size_t frames = in.samples.size() / channels;
  if (frames > kMaxSourceFrames) return false;

  const uint64_t rate = static_cast<uint64_t>(in.sampleRate);
  const uint64_t outFrames64 = in.sampleRate == kEngineRate ? frames : (frames * uint64_t{kEngineRate} + rate - 1) / rate;
  if (outFrames64 > kMaxEngineFrames) return false;
  const size_t outFrames = static_cast<size_t>(outFrames64);

  try {
    std::vector<float> left(frames);
    std::vector<float> right(frames);
    FoldToStereo(in, frames, left, right);

    out.samples.assign(outFrames * kEngineChannels, 0.0f);
    if (in.sampleRate == kEngineRate) {
      for (size_t f = 0; f < frames; ++f) {
        out.samples[2 * f] = Sanitize(left[f]);
        out.samples[2 * f + 1] = Sanitize(right[f]);
      }
    } else {
      ResampleChannel(left, in.sampleRate, out.samples.data(), outFrames);
      ResampleChannel(right, in.sampleRate, out.samples.data() + 1, outFrames);
    }
  } catch (const std::bad_alloc&) {
    out.samples.clear();
    out.samples.shrink_to_fit();
    return false;
  }
  return true;
}

}  // namespace velmora::audio
