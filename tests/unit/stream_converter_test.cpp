// Piece-by-piece conversion of long sounds: the seams must not show.
#include "playback/engine/StreamConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using velmora::audio::StreamConverter;

namespace {

std::vector<float> Sine(double frequency, int rate, int channels, size_t frames) {
  std::vector<float> out;
  for (size_t i = 0; i < frames; ++i) {
    const float v = static_cast<float>(0.5 * std::sin(2 * 3.14159265358979 * frequency * static_cast<double>(i) / rate));
    for (int c = 0; c < channels; ++c) out.push_back(v);
  }
  return out;
}

std::vector<float> ConvertInPieces(const std::vector<float>& in, int channels, int rate, size_t piece) {
  StreamConverter converter(channels, rate);
  std::vector<float> out;
  const size_t frames = in.size() / static_cast<size_t>(channels);
  for (size_t f = 0; f < frames; f += piece) {
    const size_t n = std::min(piece, frames - f);
    converter.Convert(in.data() + f * static_cast<size_t>(channels), n, out);
  }
  return out;
}

// Zero crossings of the left channel per second of output at 44.1 kHz.
double Frequency(const std::vector<float>& stereo) {
  int crossings = 0;
  for (size_t i = 2; i < stereo.size(); i += 2) crossings += (stereo[i - 2] < 0) != (stereo[i] < 0);
  return crossings / 2.0 / (static_cast<double>(stereo.size() / 2) / 44100.0);
}

}  // namespace

TEST(StreamConverter, PiecesOfAnySizeGiveTheSameOutput) {
  for (int rate : {22050, 44100, 48000}) {
    const std::vector<float> in = Sine(1000, rate, 1, static_cast<size_t>(rate));
    const std::vector<float> whole = ConvertInPieces(in, 1, rate, in.size());
    for (size_t piece : {1u, 7u, 441u, 4096u}) {
      EXPECT_EQ(ConvertInPieces(in, 1, rate, piece), whole) << rate << " Hz in pieces of " << piece;
    }
    // One second in, about one second out, at the same pitch.
    EXPECT_NEAR(static_cast<double>(whole.size() / 2), 44100.0, 4.0) << rate;
    EXPECT_NEAR(Frequency(whole), 1000.0, 5.0) << rate;
  }
}

TEST(StreamConverter, LayoutsFoldToStereo) {
  // 5.1: front left 0.5, front right -0.5, centre 0.4 (at -3 dB), the rest dropped.
  const std::vector<float> frame = {0.5f, -0.5f, 0.4f, 0.9f, 0.9f, 0.9f};
  StreamConverter converter(6, 44100);
  std::vector<float> out;
  converter.Convert(frame.data(), 1, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_NEAR(out[0], 0.5f + 0.4f * 0.7071f, 1e-3);
  EXPECT_NEAR(out[1], -0.5f + 0.4f * 0.7071f, 1e-3);
  // Mono to both sides; out-of-range and non-finite samples are tamed.
  StreamConverter mono(1, 44100);
  const std::vector<float> odd = {2.0f, NAN};
  out.clear();
  mono.Convert(odd.data(), 2, out);
  EXPECT_EQ(out, (std::vector<float>{1.0f, 1.0f, 0.0f, 0.0f}));
}
