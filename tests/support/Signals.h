// Measurements of recorded or rendered samples (44.1 kHz, one channel). Pure arithmetic, shared by
// the Wine tests (what the test sinks recorded) and the native ones (what the engine rendered).
#pragma once

#include <cstddef>
#include <vector>

namespace velmora::test {

// Root mean square and peak of a stretch of samples.
double Rms(const std::vector<float>& samples, size_t from = 0, size_t count = static_cast<size_t>(-1));
double Peak(const std::vector<float>& samples, size_t from = 0, size_t count = static_cast<size_t>(-1));
// The largest jump between two neighbouring samples: a click shows here.
double LargestStep(const std::vector<float>& samples, size_t from = 0, size_t count = static_cast<size_t>(-1));
// Amplitude of one frequency in the samples (Goertzel), about the sine's amplitude when present.
double ToneAmplitude(const std::vector<float>& samples, double frequency, size_t from = 0,
                     size_t count = static_cast<size_t>(-1));
// The median of the tone's amplitude over 20 ms windows: one dropout (Wine's audio path on a
// busy machine has them) does not move it.
double MedianToneAmplitude(const std::vector<float>& samples, double frequency, size_t from, size_t count);

// Index of the first 10 ms window (441 samples) from `from` on where the tone's amplitude is
// above `threshold`, as a sample index; -1 when there is none.
long long ToneOnset(const std::vector<float>& samples, double frequency, double threshold, size_t from = 0);

// Index of the first sample whose magnitude exceeds `threshold`, or -1.
long long FirstAbove(const std::vector<float>& samples, double threshold, size_t from = 0);

}  // namespace velmora::test
