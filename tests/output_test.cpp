// The engine's routing on offline outputs: the output device and the monitor pulled by the test
// as their devices would pull them, and the microphone written by the test as its device would
// write it, with no sound server and no waiting. What is checked is the samples each output would
// have played.
#include "playback/AudioPlayer.h"
#include "playback/engine/Engine.h"
#include "tests/support/RampSound.h"
#include "playback/engine/DeviceThread.h"
#include "playback/engine/PcmSource.h"
#include "tests/support/SinkRecording.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

using namespace velmora::audio;

namespace {

constexpr uint32_t kPeriod = 441;  // 10 ms

using velmora::test::Ramp;

// `periods` device periods of one output, left channel only.
std::vector<float> Pull(AudioEngine& engine, int output, int periods) {
  std::vector<float> left;
  std::vector<float> buffer(kPeriod * kEngineChannels);
  for (int p = 0; p < periods; ++p) {
    engine.Render(output, buffer.data(), kPeriod);
    for (uint32_t f = 0; f < kPeriod; ++f) left.push_back(buffer[f * kEngineChannels]);
  }
  return left;
}

// A long sound decoding as it plays: frame n's left sample is 0.001 + (n modulo 1000) / 1000, so
// any frame lost, repeated or torn shows, and silence (a decoder behind) is told apart. Counts
// how often it was opened (decoded).
float CountedSample(uint64_t frame) { return 0.001f + static_cast<float>(frame % 1000) / 1000.0f; }

class CountingSource final : public PcmSource {
 public:
  explicit CountingSource(std::atomic<int>& opened) { ++opened; }
  int Channels() const override { return 2; }
  int SampleRate() const override { return kEngineRate; }
  uint64_t DeclaredFrames() const override { return kEngineRate * 60; }
  bool ReadMore(std::vector<float>& samples) override {
    if (next_ >= DeclaredFrames()) return false;
    for (int i = 0; i < 4410; ++i, ++next_) {
      samples.push_back(CountedSample(next_));
      samples.push_back(0.0f);
    }
    return true;
  }

 private:
  uint64_t next_ = 0;
};

class OfflineOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.OpenOffline());
    ASSERT_TRUE(engine_.OpenOfflineMonitor());
  }
  AudioEngine engine_;
};

}  // namespace

TEST_F(OfflineOutputs, BothOutputsStartReplaceAndStopTogetherAtTheirOwnGain) {
  engine_.SetOutputGain(kMonitorOutput, 0.5f);
  const uint32_t first = engine_.CreateVoice(Ramp(44100, 1.0f));
  ASSERT_NE(first, 0u);
  ASSERT_TRUE(engine_.SetVoiceVolume(first, 0.8f));
  ASSERT_TRUE(engine_.PlayVoice(first, true));
  const std::vector<float> main = Pull(engine_, kMainOutput, 10);
  const std::vector<float> monitor = Pull(engine_, kMonitorOutput, 10);
  // The same samples from the same first frame; the monitor at board volume x its own level.
  for (size_t i = 0; i < main.size(); ++i) {
    ASSERT_NEAR(main[i], 0.8f * static_cast<float>((i % 100) + 1) / 100.0f, 1e-6f) << i;
    ASSERT_NEAR(monitor[i], main[i] * 0.5f, 1e-6f) << i;
  }

  // Replaced: both outputs go over to the new sound at its first frame, the old one fading out
  // under it over 3 ms and gone after.
  engine_.FreeVoice(first);
  const uint32_t second = engine_.CreateVoice(Ramp(44100, -1.0f));
  ASSERT_TRUE(engine_.PlayVoice(second, true));
  const std::vector<float> mainAfter = Pull(engine_, kMainOutput, 1);
  const std::vector<float> monitorAfter = Pull(engine_, kMonitorOutput, 1);
  const float fadingFirst = 0.8f * static_cast<float>(main.size() % 100 + 1) / 100.0f;
  EXPECT_NEAR(mainAfter[0], -0.01f + fadingFirst, 1e-6f);
  EXPECT_NEAR(monitorAfter[0], (-0.01f + fadingFirst) * 0.5f, 1e-6f);
  const float newAtFadeEnd = -static_cast<float>(kCutFadeFrames % 100 + 1) / 100.0f;
  EXPECT_NEAR(mainAfter[kCutFadeFrames], newAtFadeEnd, 1e-6f);
  EXPECT_NEAR(monitorAfter[kCutFadeFrames], newAtFadeEnd * 0.5f, 1e-6f);

  // Stopped: both fade out over 3 ms, then silent. The monitor's lowest step mutes it alone.
  engine_.StopVoice(second);
  const std::vector<float> mainStopped = Pull(engine_, kMainOutput, 2);
  const std::vector<float> monitorStopped = Pull(engine_, kMonitorOutput, 2);
  EXPECT_NE(mainStopped[0], 0.0f);
  for (size_t i = kCutFadeFrames; i < mainStopped.size(); ++i) ASSERT_EQ(mainStopped[i], 0.0f) << i;
  for (size_t i = kCutFadeFrames; i < monitorStopped.size(); ++i) ASSERT_EQ(monitorStopped[i], 0.0f) << i;
  engine_.SetOutputGain(kMonitorOutput, 0.0f);
  ASSERT_TRUE(engine_.PlayVoice(second, true));
  EXPECT_NE(Pull(engine_, kMainOutput, 1)[5], 0.0f);
  for (float v : Pull(engine_, kMonitorOutput, 1)) ASSERT_EQ(v, 0.0f);
}

TEST_F(OfflineOutputs, AMonitorSwitchedOnMidEffectJoinsWhereTheOutputIs) {
  engine_.CloseMonitor();
  const uint32_t voice = engine_.CreateVoice(Ramp(44100, 1.0f));
  ASSERT_TRUE(engine_.PlayVoice(voice, true));
  Pull(engine_, kMainOutput, 3);  // 1,323 frames in
  ASSERT_TRUE(engine_.OpenOfflineMonitor());
  const std::vector<float> main = Pull(engine_, kMainOutput, 1);
  const std::vector<float> monitor = Pull(engine_, kMonitorOutput, 1);
  EXPECT_EQ(main, monitor);
  EXPECT_NEAR(main[0], static_cast<float>((1323 % 100) + 1) / 100.0f, 1e-6f);
}

TEST_F(OfflineOutputs, ALongFileIsDecodedOnceForBothAndAStalledMonitorHoldsNothingBack) {
  std::atomic<int> opened{0};
  const uint32_t voice = engine_.CreateStreamVoice(
      [&opened] { return std::make_shared<StreamFeed>(std::make_unique<CountingSource>(opened)); }, kEngineRate * 60);
  ASSERT_NE(voice, 0u);
  ASSERT_TRUE(engine_.PlayVoice(voice, true));
  // Pulls `periods` periods' worth of frames from `output`, checking each against the count.
  // Where the decoder is behind, the output gets silence and the test waits for it: what is
  // checked is continuity, not speed.
  auto pullDecoded = [this](int output, int periods, uint64_t& frame) {
    std::vector<float> buffer(kPeriod * kEngineChannels);
    uint32_t left = kPeriod * periods;
    for (int idle = 0; left > 0 && idle < 2000;) {
      engine_.Render(output, buffer.data(), std::min(left, kPeriod));
      uint32_t got = 0;
      while (got < std::min(left, kPeriod) && buffer[got * kEngineChannels] != 0.0f) {
        ASSERT_NEAR(buffer[got * kEngineChannels], CountedSample(frame), 1e-6f) << "output " << output;
        ++got;
        ++frame;
      }
      left -= got;
      if (got == 0) {
        ++idle;
        ::Sleep(1);
      }
    }
    ASSERT_EQ(left, 0u) << "output " << output << " starved at frame " << frame;
  };
  uint64_t mainFrame = 0, monitorFrame = 0;
  pullDecoded(kMainOutput, 20, mainFrame);
  pullDecoded(kMonitorOutput, 20, monitorFrame);
  // The monitor's device stops taking samples (gone, or its clock far behind): the output
  // device plays on for three seconds, more than the decoder's ring holds.
  pullDecoded(kMainOutput, 300, mainFrame);
  // Back, it skips ahead to where the output device is instead of replaying the old part.
  monitorFrame = mainFrame;
  pullDecoded(kMonitorOutput, 5, monitorFrame);
  EXPECT_EQ(opened.load(), 1) << "the long file was decoded more than once";
}

TEST(MonitorRouting, AMonitorOnTheOutputDeviceItselfIsNotOpened) {
  velmora::playback::AudioPlayer player;
  ASSERT_EQ(velmora::playback::StartAudio(player, kNoSoundDevice), 1);
  EXPECT_TRUE(player.StartMonitor(kNoSoundDevice, L""));
  EXPECT_FALSE(player.Engine().MonitorOpen()) << "the effect would play twice on one device";
  EXPECT_TRUE(player.StartMonitor(kDefaultDevice, L""));
  EXPECT_TRUE(player.Engine().MonitorOpen());
  EXPECT_EQ(player.Engine().MonitorDevice(), kDefaultDevice);
  player.StopMonitor();
  EXPECT_FALSE(player.Engine().MonitorOpen());
  player.ReleaseLibrary();
  EXPECT_FALSE(player.StartMonitor(kDefaultDevice, L"")) << "no monitor without an output";
}

TEST_F(OfflineOutputs, TheVoiceMixesUnderEffectsAtItsLevelDucksAndReachesTheMonitorOnlyWhenRouted) {
  ASSERT_TRUE(engine_.OpenOfflineInput(kPeriod));
  engine_.SetInputGain(0.5f);
  engine_.SetOutputGain(kMonitorOutput, 0.5f);
  uint64_t captured = 0;
  std::vector<float> packet(kPeriod * kEngineChannels);
  // `periods` periods of a 440 Hz voice at 0.5 in, both outputs out; the 440 Hz amplitude of the
  // last five periods of each.
  auto run = [&](int periods) {
    std::vector<float> main, monitor;
    for (int p = 0; p < periods; ++p) {
      for (uint32_t f = 0; f < kPeriod; ++f, ++captured)
        packet[f * kEngineChannels] = packet[f * kEngineChannels + 1] =
            0.5f * static_cast<float>(std::sin(2 * 3.14159265358979 * 440.0 * static_cast<double>(captured) / kEngineRate));
      engine_.Input()->Write(packet.data(), kPeriod);
      for (auto [output, into] : {std::pair{kMainOutput, &main}, std::pair{kMonitorOutput, &monitor}}) {
        const std::vector<float> left = Pull(engine_, output, 1);
        into->insert(into->end(), left.begin(), left.end());
      }
    }
    const size_t from = main.size() - 5 * kPeriod;
    return std::pair{velmora::test::ToneAmplitude(main, 440, from, 5 * kPeriod),
                     velmora::test::ToneAmplitude(monitor, 440, from, 5 * kPeriod)};
  };
  auto [main, monitor] = run(20);
  EXPECT_NEAR(main, 0.25, 0.01);
  EXPECT_LT(monitor, 0.001) << "the voice reached the monitor unasked";
  engine_.SetInputToMonitor(true);
  std::tie(main, monitor) = run(20);
  EXPECT_NEAR(monitor, 0.125, 0.01) << "at the monitor's level too";

  // 12 dB of ducking while an effect plays: down within a few periods, back up over ~300 ms.
  engine_.SetInputDucking(12);
  auto effect = std::make_shared<Sound>();
  for (int i = 0; i < kEngineRate; ++i) {
    const float v = 0.3f * static_cast<float>(std::sin(2 * 3.14159265358979 * 2000.0 * i / kEngineRate));
    effect->samples.insert(effect->samples.end(), {v, v});
  }
  const uint32_t voice = engine_.CreateVoice(effect);
  ASSERT_TRUE(engine_.PlayVoice(voice, true));
  std::tie(main, monitor) = run(10);
  EXPECT_NEAR(main, 0.25 * 0.251, 0.01);
  EXPECT_NEAR(monitor, 0.125 * 0.251, 0.01);
  ASSERT_TRUE(engine_.StopVoice(voice));
  std::tie(main, monitor) = run(6);
  EXPECT_LT(main, 0.15) << "ducking let go at once";
  std::tie(main, monitor) = run(150);
  EXPECT_NEAR(main, 0.25, 0.01);
}

namespace {
HANDLE WINAPI RefuseProAudio(LPCWSTR, LPDWORD) {
  ::SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}
}  // namespace

// Where the "Pro Audio" class is refused (Wine's always takes it, so a refusing stand-in is put
// in its place), a device thread runs at time-critical priority instead.
TEST(DeviceThreadPriority, ARefusedProAudioClassRaisesTheThreadItself) {
  std::thread([] {
    {
      const UniqueMmcss joined = RaiseDeviceThreadPriority();
      EXPECT_TRUE(joined.Valid()) << "the class was refused here: " << ::GetLastError();
    }
    ASSERT_NE(::GetThreadPriority(::GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
    const UniqueMmcss refused = RaiseDeviceThreadPriority(&RefuseProAudio);
    EXPECT_FALSE(refused.Valid());
    EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
  }).join();
}
