// The loudness meter against what BS.1770-4 gives for plain signals, and the leveling gain's
// rules. The leveling end to end, on the test sinks, is in tests/audio_test.cpp.
#include "playback/engine/Loudness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace velmora::audio;

namespace {

constexpr double kPi = 3.14159265358979323846;

// `seconds` of a sine at `frequency`, amplitude `left` and `right`, appended to `stereo`.
void AppendSine(std::vector<float>& stereo, int rate, double frequency, double seconds, double left, double right) {
  const auto frames = static_cast<size_t>(seconds * rate);
  for (size_t i = 0; i < frames; ++i) {
    const double s = std::sin(2 * kPi * frequency * static_cast<double>(i) / rate);
    stereo.push_back(static_cast<float>(left * s));
    stereo.push_back(static_cast<float>(right * s));
  }
}

float Lufs(const std::vector<float>& stereo, int rate) {
  return MeasureLoudness(stereo.data(), stereo.size() / 2, rate).lufs;
}

}  // namespace

TEST(Loudness, MeterReadsWhatTheStandardGivesAtEveryRate) {
  // The weighting's shape, at 48 kHz (where the filters are the standard's table): 50 Hz is cut
  // by the high-pass, 8 kHz lifted by the shelf. Every other rate weights them the same.
  const auto reading = [](int rate, double frequency) {
    std::vector<float> tone;
    AppendSine(tone, rate, frequency, 5, 0.1, 0.1);
    return Lufs(tone, rate);
  };
  const float bass = reading(48000, 50), treble = reading(48000, 8000);
  EXPECT_LT(bass, -22.0f);
  EXPECT_GT(treble, -18.0f);
  for (const int rate : {44100, 32000, 22050}) {
    SCOPED_TRACE(rate);
    // The standard's own check: a 0 dBFS 997 Hz sine in one channel reads -3.01 LUFS; in both,
    // +0.0; a 1 kHz sine 20 dB down in both reads -20.0.
    std::vector<float> one, both;
    AppendSine(one, rate, 997, 5, 1.0, 0.0);
    AppendSine(both, rate, 997, 5, 1.0, 1.0);
    EXPECT_NEAR(Lufs(one, rate), -3.01, 0.05);
    EXPECT_NEAR(Lufs(both, rate), 0.0, 0.05);
    EXPECT_NEAR(reading(rate, 1000), -20.0, 0.05);
    EXPECT_NEAR(reading(rate, 50), bass, 0.1);
    EXPECT_NEAR(reading(rate, 8000), treble, 0.1);
  }
}

TEST(Loudness, FiltersHoldAtEveryRateASourceMayHave) {
  // The meter sums both channels' mean squares, each weighted 1, and the -0.691 cancels the
  // weighting's gain near 1 kHz: a 0 dBFS sine in the left channel alone is half of full-scale
  // power, 10 log10(1/2) = -3.01 LUFS; in both it is full scale, 0.0.
  for (const int rate :
       {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000}) {
    SCOPED_TRACE(rate);
    std::vector<float> left, both;
    AppendSine(left, rate, 1000, 2, 1.0, 0.0);
    AppendSine(both, rate, 1000, 2, 1.0, 1.0);
    EXPECT_NEAR(Lufs(left, rate), -3.01, 0.05);
    EXPECT_NEAR(Lufs(both, rate), 0.0, 0.05);
  }
  // Just under 3,364 Hz the shelf's corner is past Nyquist; the filter must not run away there
  // either (it used to read hundreds of LUFS, and leveling made the sound silent).
  for (const int rate : {2000, 3300, 3363}) {
    SCOPED_TRACE(rate);
    std::vector<float> both;
    AppendSine(both, rate, 300, 2, 1.0, 1.0);
    EXPECT_NEAR(Lufs(both, rate), 0.0, 1.5);
  }
}

TEST(Loudness, GatesLeaveOutSilenceAndQuietStretches) {
  constexpr int kRate = 44100;
  // A 10 s tone in 20 s of silence either side reads the tone's loudness (absolute gate), less
  // the three blocks at each end that hold part tone, part silence (3/4, 1/2, 1/4: 3 blocks'
  // worth of tone spread over 6): 100 blocks' power over 103.
  std::vector<float> tone, island(kRate * 20 * 2, 0.0f);
  AppendSine(tone, kRate, 1000, 10, 0.1, 0.1);
  island.insert(island.end(), tone.begin(), tone.end());
  island.resize(island.size() + kRate * 20 * 2, 0.0f);
  EXPECT_NEAR(Lufs(island, kRate), Lufs(tone, kRate) + 10 * std::log10(100.0 / 103.0), 0.01);
  // 10 s at -20 then 10 s at -45: the quiet half is more than 10 LU down and left out (relative
  // gate); averaged in, it would read -23.
  std::vector<float> steps;
  AppendSine(steps, kRate, 1000, 10, 0.1, 0.1);
  AppendSine(steps, kRate, 1000, 10, 0.1 / std::pow(10.0, 25.0 / 20.0), 0.1 / std::pow(10.0, 25.0 / 20.0));
  EXPECT_NEAR(Lufs(steps, kRate), -20.0, 0.1);

  // Fed in pieces of any size, the meter reads the same as in one go; the peak is the largest
  // sample.
  LoudnessMeter meter(kRate);
  for (size_t at = 0, piece = 1; at < steps.size() / 2; at += piece, piece = piece * 7 % 5003 + 1)
    meter.Add(&steps[at * 2], std::min(piece, steps.size() / 2 - at));
  EXPECT_FLOAT_EQ(meter.Result().lufs, Lufs(steps, kRate));
  EXPECT_NEAR(meter.Result().peak, 0.1, 1e-4);
  EXPECT_NEAR(meter.Seconds(), 20.0, 1e-9);

  // Silence, and a tone shorter than one 400 ms block, have no loudness.
  std::vector<float> silence(kRate * 2 * 5, 0.0f), blip;
  AppendSine(blip, kRate, 1000, 0.3, 0.5, 0.5);
  EXPECT_FALSE(MeasureLoudness(silence.data(), silence.size() / 2, kRate).Measured());
  EXPECT_FALSE(MeasureLoudness(blip.data(), blip.size() / 2, kRate).Measured());
}

TEST(Loudness, LevelingGainRaisesAtMostTwelveDbAndNeverPastTheCeiling) {
  const auto gainDb = [](float lufs, float peak) { return 20.0 * std::log10(LevelingGain({lufs, peak})); };
  EXPECT_NEAR(gainDb(-10.0f, 0.316f), -6.0, 1e-4);
  EXPECT_NEAR(gainDb(-20.0f, 0.1f), 4.0, 1e-4);
  EXPECT_NEAR(gainDb(-50.0f, 0.003f), 12.0, 1e-4);  // 34 dB short: raised by 12 only
  EXPECT_NEAR(gainDb(5.0f, 1.0f), -21.0, 1e-4);     // lowered without limit
  // Raising a sound that peaks at 0.5 stops where its peak reaches -1 dBFS.
  EXPECT_NEAR(gainDb(-30.0f, 0.5f), -1.0 + 20.0 * std::log10(2.0), 1e-4);
  // So does leaving it as it is: at -16 LUFS already but peaking at full scale, it comes down 1 dB.
  EXPECT_NEAR(gainDb(-16.0f, 1.0f), -1.0, 1e-4);
  // Silent or too short: left alone, whatever its peak.
  EXPECT_FLOAT_EQ(LevelingGain({}), 1.0f);
  EXPECT_FLOAT_EQ(LevelingGain({LoudnessInfo::kNoLoudness, 0.2f}), 1.0f);
}
