#include "tests/support/Signals.h"

#include <algorithm>
#include <cmath>

namespace velmora::test {

namespace {

size_t End(const std::vector<float>& s, size_t from, size_t count) {
  return count > s.size() - std::min(from, s.size()) ? s.size() : from + count;
}

}  // namespace

double MedianToneAmplitude(const std::vector<float>& samples, double frequency, size_t from, size_t count) {
  constexpr size_t kWindow = 882;
  std::vector<double> amplitudes;
  const size_t end = End(samples, from, count);
  for (size_t i = from; i + kWindow <= end; i += kWindow)
    amplitudes.push_back(ToneAmplitude(samples, frequency, i, kWindow));
  if (amplitudes.empty()) return 0;
  std::nth_element(amplitudes.begin(), amplitudes.begin() + static_cast<long>(amplitudes.size() / 2), amplitudes.end());
  return amplitudes[amplitudes.size() / 2];
}

long long ToneOnset(const std::vector<float>& samples, double frequency, double threshold, size_t from) {
  constexpr size_t kWindow = 441;
  for (size_t i = from; i + kWindow <= samples.size(); i += kWindow / 2) {
    if (ToneAmplitude(samples, frequency, i, kWindow) > threshold) return static_cast<long long>(i);
  }
  return -1;
}

double Rms(const std::vector<float>& s, size_t from, size_t count) {
  const size_t end = End(s, from, count);
  if (end <= from) return 0;
  double sum = 0;
  for (size_t i = from; i < end; ++i) sum += static_cast<double>(s[i]) * s[i];
  return std::sqrt(sum / static_cast<double>(end - from));
}

double Peak(const std::vector<float>& s, size_t from, size_t count) {
  const size_t end = End(s, from, count);
  double peak = 0;
  for (size_t i = from; i < end; ++i) peak = std::max(peak, static_cast<double>(std::fabs(s[i])));
  return peak;
}

double LargestStep(const std::vector<float>& s, size_t from, size_t count) {
  const size_t end = End(s, from, count);
  double step = 0;
  for (size_t i = from + 1; i < end; ++i) step = std::max(step, static_cast<double>(std::fabs(s[i] - s[i - 1])));
  return step;
}

double ToneAmplitude(const std::vector<float>& s, double frequency, size_t from, size_t count) {
  const size_t end = End(s, from, count);
  if (end <= from) return 0;
  const double w = 2.0 * 3.14159265358979323846 * frequency / 44100.0;
  const double coefficient = 2.0 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = from; i < end; ++i) {
    const double s0 = s[i] + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(end - from);
}

long long FirstAbove(const std::vector<float>& s, double threshold, size_t from) {
  for (size_t i = from; i < s.size(); ++i) {
    if (std::fabs(s[i]) > threshold) return static_cast<long long>(i);
  }
  return -1;
}

}  // namespace velmora::test
