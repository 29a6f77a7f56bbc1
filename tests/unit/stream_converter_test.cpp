// Piece-by-piece conversion of long sounds: the seams must not show, and no call's work or memory
// may grow with the size of what it is handed.
#include "playback/engine/StreamConverter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using velmora::audio::StreamConverter;

namespace {

std::vector<float> Sine(double frequency, int rate, int channels, size_t frames) {
  std::vector<float> out;
  for (size_t i = 0; i < frames; ++i) {
    const float v =
        static_cast<float>(0.5 * std::sin(2 * 3.14159265358979 * frequency * static_cast<double>(i) / rate));
    for (int c = 0; c < channels; ++c) out.push_back(v);
  }
  return out;
}

// The whole of `in`, pushed in pieces of `piece` frames and pulled `run` frames at a time.
std::vector<float> Convert(const std::vector<float>& in, int channels, int rate, size_t piece, size_t run) {
  StreamConverter converter(channels, rate);
  std::vector<float> out, chunk(run * 2);
  const auto drain = [&] {
    while (const size_t n = converter.Pull(chunk.data(), run)) {
      EXPECT_LE(n, run);
      out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n * 2));
    }
  };
  const size_t stride = static_cast<size_t>(channels);
  const size_t frames = in.size() / stride;
  for (size_t f = 0; f < frames;) {
    const size_t n = std::min(piece, frames - f);
    for (size_t taken = 0; taken < n; drain()) {
      taken += converter.Push(in.data() + (f + taken) * stride, n - taken);
      EXPECT_LE(converter.Pending(), StreamConverter::kMaxPendingFrames);
    }
    f += n;
  }
  converter.Finish();
  drain();
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
  for (int rate : {8000, 22050, 44100, 48000, 384000}) {
    const std::vector<float> in = Sine(1000, rate, 1, static_cast<size_t>(rate));
    const std::vector<float> whole = Convert(in, 1, rate, in.size(), 1 << 20);
    for (const auto& [piece, run] : {std::pair<size_t, size_t>{1, 1}, {7, 3}, {441, 4096}, {5000, 100}}) {
      EXPECT_EQ(Convert(in, 1, rate, piece, run), whole) << rate << " Hz in pieces of " << piece << ", runs of " << run;
    }
    // One second in, one second out (to its last frame, as a short effect converts), at the same pitch.
    EXPECT_EQ(whole.size() / 2, 44100u) << rate;
    EXPECT_NEAR(Frequency(whole), 1000.0, 5.0) << rate;
  }
}

TEST(StreamConverter, EachCallIsBoundedWhateverItIsHanded) {
  // Ten seconds of 8 kHz in one piece would make 441,000 frames: the converter takes only what it
  // has room for, nothing more until that is pulled, and each pull makes at most what it is asked.
  const std::vector<float> in = Sine(440, 8000, 2, 80000);
  StreamConverter converter(2, 8000);
  const size_t taken = converter.Push(in.data(), 80000);
  EXPECT_GT(taken, 0u);
  EXPECT_LE(taken, StreamConverter::kMaxPendingFrames);
  EXPECT_EQ(converter.Push(in.data() + taken * 2, 80000 - taken), 0u);
  std::vector<float> out(2 * 1000);
  size_t made = 0;
  while (const size_t n = converter.Pull(out.data(), 1000)) {
    EXPECT_LE(n, 1000u);
    made += n;
  }
  // Every frame taken is used but the last two, which wait for the frames after them.
  EXPECT_NEAR(static_cast<double>(made), static_cast<double>(taken - 2) * 44100 / 8000, 6.0);
  EXPECT_GT(converter.Push(in.data() + taken * 2, 80000 - taken), 0u);
}

TEST(StreamConverter, LayoutsFoldToStereo) {
  // 5.1: front left 0.5, front right -0.5, centre 0.4 (at -3 dB), the rest dropped.
  const std::vector<float> frame = {0.5f, -0.5f, 0.4f, 0.9f, 0.9f, 0.9f};
  StreamConverter converter(6, 44100);
  std::vector<float> out(2);
  ASSERT_EQ(converter.Push(frame.data(), 1), 1u);
  ASSERT_EQ(converter.Pull(out.data(), 4), 1u);
  EXPECT_NEAR(out[0], 0.5f + 0.4f * 0.7071f, 1e-3);
  EXPECT_NEAR(out[1], -0.5f + 0.4f * 0.7071f, 1e-3);
  // Mono to both sides; out-of-range and non-finite samples are tamed.
  StreamConverter mono(1, 44100);
  const std::vector<float> odd = {2.0f, NAN};
  out.assign(4, 0.5f);
  ASSERT_EQ(mono.Push(odd.data(), 2), 2u);
  ASSERT_EQ(mono.Pull(out.data(), 4), 2u);
  EXPECT_EQ(out, (std::vector<float>{1.0f, 1.0f, 0.0f, 0.0f}));
}
