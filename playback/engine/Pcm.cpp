// Every decoder's output ends up here: folded to stereo, then resampled to 44,100 Hz with a
// windowed-sinc filter. This runs once per file when a sound is loaded, never on the render
// thread, so it can afford a proper filter instead of linear interpolation (which dulls the
// top octave and lets everything above 22 kHz alias back into the audible band).
#include "playback/engine/Pcm.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <numeric>
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
  for (size_t f = 0; f < frames; ++f) FoldFrameToStereo(&in.samples[f * channels], in.channels, left[f], right[f]);
}

// Band-limited resampling of the two planar channels into interleaved `out`.
// Output frame j sits at source position j * inRate / kEngineRate, kept as an exact fraction
// so long files do not drift. The filter's cutoff follows the lower of the two rates.
class Resampler {
 public:
  explicit Resampler(int inRate) : m_inRate(static_cast<uint64_t>(inRate)) {
    const double ratio = static_cast<double>(kEngineRate) / static_cast<double>(inRate);
    m_cutoff = kRolloff * (ratio < 1.0 ? ratio : 1.0);  // fraction of the source Nyquist
    m_halfWidth = kZeroCrossings / m_cutoff;            // in source samples
    // The common rates are small fractions of 44,100 (48,000 = 160/147), so the filter only
    // ever sits at a few hundred distinct phases: precompute those once and the inner loop is
    // a plain dot product. Odd rates (44,099 Hz) fall back to interpolating the table per tap.
    const uint64_t divisor = std::gcd(m_inRate, uint64_t{kEngineRate});
    m_phases = kEngineRate / divisor;
    m_step = m_inRate / divisor;
    m_firstTap = -static_cast<int64_t>(std::floor(m_halfWidth));
    m_taps = static_cast<size_t>(2 * static_cast<int64_t>(std::floor(m_halfWidth)) + 2);
    if (m_phases * m_taps <= kMaxBankSize) BuildBank();
  }

  void Run(const std::vector<float>& left, const std::vector<float>& right, float* out, size_t outFrames) const {
    const int64_t count = static_cast<int64_t>(left.size());
    for (size_t j = 0; j < outFrames; ++j) {
      // Position j * m_step / m_phases in lowest terms: the same phases come round exactly.
      const uint64_t numerator = static_cast<uint64_t>(j) * m_step;
      const int64_t whole = static_cast<int64_t>(numerator / m_phases);
      const size_t phase = static_cast<size_t>(numerator % m_phases);
      double l = 0.0;
      double r = 0.0;
      if (!m_bank.empty()) {
        const float* weights = &m_bank[phase * m_taps];
        int64_t first = whole + m_firstTap;
        int64_t end = first + static_cast<int64_t>(m_taps);  // exclusive
        size_t w = 0;
        if (first < 0) {
          w = static_cast<size_t>(-first);
          first = 0;
        }
        if (end > count) end = count;
        for (int64_t k = first; k < end; ++k, ++w) {
          l += static_cast<double>(left[static_cast<size_t>(k)]) * weights[w];
          r += static_cast<double>(right[static_cast<size_t>(k)]) * weights[w];
        }
      } else {
        const double frac = static_cast<double>(phase) / static_cast<double>(m_phases);
        const double position = static_cast<double>(whole) + frac;
        int64_t first = static_cast<int64_t>(std::ceil(position - m_halfWidth));
        int64_t end = static_cast<int64_t>(std::floor(position + m_halfWidth));
        if (first < 0) first = 0;
        if (end > count - 1) end = count - 1;
        for (int64_t k = first; k <= end; ++k) {
          const double weight = Weight(static_cast<double>(k - whole) - frac);
          l += left[static_cast<size_t>(k)] * weight;
          r += right[static_cast<size_t>(k)] * weight;
        }
      }
      out[2 * j] = Sanitize(static_cast<float>(l));
      out[2 * j + 1] = Sanitize(static_cast<float>(r));
    }
  }

 private:
  // Up to 4 MB of weights; 48 kHz needs 147 x 36 of them, 768 kHz 147 x 608.
  static constexpr uint64_t kMaxBankSize = uint64_t{1} << 20;

  // The filter at `offset` source samples from the output position.
  double Weight(double offset) const { return m_cutoff * Table().At(std::fabs(offset) * m_cutoff); }

  void BuildBank() {
    m_bank.resize(static_cast<size_t>(m_phases) * m_taps);
    for (size_t phase = 0; phase < m_phases; ++phase) {
      const double frac = static_cast<double>(phase) / static_cast<double>(m_phases);
      for (size_t t = 0; t < m_taps; ++t) {
        const double offset = static_cast<double>(m_firstTap + static_cast<int64_t>(t)) - frac;
        m_bank[phase * m_taps + t] = static_cast<float>(Weight(offset));
      }
    }
  }

  uint64_t m_inRate;
  double m_cutoff = 1.0;
  double m_halfWidth = 0.0;
  uint64_t m_phases = 1;
  uint64_t m_step = 1;
  int64_t m_firstTap = 0;
  size_t m_taps = 0;
  std::vector<float> m_bank;
};

}  // namespace

void FoldFrameToStereo(const float* frame, int channels, float& left, float& right) {
  const auto clean = [](float v) { return std::isfinite(v) ? v : 0.0f; };
  if (channels == 1) {
    left = right = clean(frame[0]);
    return;
  }
  left = clean(frame[0]);
  right = clean(frame[1]);
  if (channels == 3 || (channels >= 5 && channels <= 8)) {
    const float centre = clean(frame[2]) * kCentreGain;
    left += centre;
    right += centre;
  }
}

bool ToEngineFormat(const PcmBuffer& in, Sound& out) {
  out.samples.clear();
  if (!AcceptedFormat(in.channels, in.sampleRate) || in.samples.empty()) return false;
  const size_t channels = static_cast<size_t>(in.channels);
  if (in.samples.size() % channels != 0) return false;  // a torn last frame means a broken decoder
  const size_t frames = in.samples.size() / channels;
  if (frames > kMaxSourceFrames) return false;

  const uint64_t rate = static_cast<uint64_t>(in.sampleRate);
  const uint64_t outFrames64 =
      in.sampleRate == kEngineRate ? frames : (frames * uint64_t{kEngineRate} + rate - 1) / rate;
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
      Resampler(in.sampleRate).Run(left, right, out.samples.data(), outFrames);
    }
  } catch (const std::bad_alloc&) {
    out.samples.clear();
    out.samples.shrink_to_fit();
    return false;
  }
  return true;
}

}  // namespace velmora::audio
