// The engine's pure parts without a device: the voice table timing a start across two outputs,
// and the microphone's ring under drifting clocks. Routing through the engine itself, on its
// offline outputs, is in tests/output_test.cpp.
#include "playback/engine/Engine.h"  // only for the output numbers: the engine itself needs Windows
#include "tests/support/RampSound.h"
#include "playback/engine/Mixer.h"
#include "playback/engine/PcmSource.h"
#include "playback/engine/StreamFeed.h"
#include "tests/support/DriftSimulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <vector>

using namespace velmora::audio;

namespace {

using velmora::test::Ramp;

int64_t g_ticks = 0;  // a clock of 44,100 ticks a second, one per frame
int64_t TestClock() { return g_ticks; }

size_t FirstSound(const std::vector<float>& buffer) {
  for (size_t i = 0; i < buffer.size(); i += kEngineChannels) {
    if (buffer[i] != 0.0f) return i / kEngineChannels;
  }
  return buffer.size() / kEngineChannels;
}
}  // namespace

// Each device has its own amount queued ahead of a new effect; the one that would sound it
// sooner writes silence ahead of it, so both devices start it together.
TEST(MixerStartTime, OutputsWithLessQueuedWaitForTheOther) {
  Mixer mixer(&TestClock, kEngineRate);
  mixer.SetOutputPresent(kMonitorOutput, true);
  std::vector<float> buffer(882 * kEngineChannels);
  g_ticks = 1000;
  mixer.Mix(kMainOutput, buffer.data(), 200, 400);    // the output device's queue ends at 1600
  mixer.Mix(kMonitorOutput, buffer.data(), 100, 50);  // the monitor's at 1150
  const uint32_t voice = mixer.AddVoice(Ramp(44100, 1.0f));
  ASSERT_TRUE(mixer.PlayVoice(voice, true, true));
  g_ticks = 1010;
  mixer.Mix(kMainOutput, buffer.data(), 882, 590);  // written at its queue's end: sounds at 1600
  EXPECT_EQ(FirstSound(buffer), 0u);
  EXPECT_NEAR(buffer[0], 0.01f, 1e-6f) << "from the sound's first frame";
  mixer.Mix(kMonitorOutput, buffer.data(), 882, 140);  // would sound at 1150: 450 frames of silence
  EXPECT_EQ(FirstSound(buffer), 450u);
  EXPECT_NEAR(buffer[450 * kEngineChannels], 0.01f, 1e-6f);

  // Due past this whole buffer: it waits, and is not advanced. Stopped streams start at once.
  mixer.Mix(kMainOutput, buffer.data(), 882, 1472);  // queue now ends 2,354 frames ahead
  ASSERT_TRUE(mixer.PlayVoice(voice, true, true));
  mixer.Mix(kMonitorOutput, buffer.data(), 882, 0);
  EXPECT_EQ(FirstSound(buffer), 882u);
  g_ticks += 1764;  // two buffers later, the monitor's queue empty again
  mixer.Mix(kMonitorOutput, buffer.data(), 882, 0);
  EXPECT_EQ(FirstSound(buffer), 2354u - 1764u);

  // A device asked in the middle of its period reads up to a period late (it has not taken the
  // period it is playing yet); the earlier reading holds. Later by more than a period can
  // explain, the device fell behind, and the new reading holds.
  g_ticks = 10000;
  mixer.Mix(kMonitorOutput, buffer.data(), 441, 441);  // both queues end at 10,882
  mixer.Mix(kMainOutput, buffer.data(), 441, 441);
  g_ticks = 10200;
  mixer.Mix(kMainOutput, buffer.data(), 441, 1000);  // reads 11,200 for 10,882
  ASSERT_TRUE(mixer.PlayVoice(voice, true, true));   // due at 10,882 + 441 (+ the drift allowance)
  mixer.Mix(kMonitorOutput, buffer.data(), 882, 682);
  EXPECT_NEAR(static_cast<double>(FirstSound(buffer)), 441.0, 8.0);
  mixer.Mix(kMainOutput, buffer.data(), 441, 2000);  // reads 12,200 for about 11,329
  ASSERT_TRUE(mixer.PlayVoice(voice, true, true));   // due at 12,641
  g_ticks = 12000;
  mixer.Mix(kMonitorOutput, buffer.data(), 882, 0);
  EXPECT_EQ(FirstSound(buffer), 641u);
  mixer.OutputStopped(kMainOutput);
  mixer.OutputStopped(kMonitorOutput);
  ASSERT_TRUE(mixer.PlayVoice(voice, true, true));
  mixer.Mix(kMonitorOutput, buffer.data(), 882, 0);
  EXPECT_EQ(FirstSound(buffer), 0u);
}

// A cut never clicks: a replaced effect fades out over 3 ms under the new one, from where its
// last write ended; a stopped one fades out the same way, and nothing sounds after the fade.
TEST(MixerCut, AReplacedOrStoppedEffectFadesOutOverThreeMilliseconds) {
  Mixer mixer(&TestClock);
  std::vector<float> buffer(882 * kEngineChannels);
  const uint32_t old = mixer.AddVoice(Ramp(44100, 0.5f));
  ASSERT_TRUE(mixer.PlayVoice(old, true));
  mixer.Mix(kMainOutput, buffer.data(), 882, 0);  // frames 0..881 written
  ASSERT_TRUE(mixer.FreeVoice(old));
  const uint32_t next = mixer.AddVoice(Ramp(44100, 0.25f));
  ASSERT_TRUE(mixer.PlayVoice(next, true));
  mixer.Mix(kMainOutput, buffer.data(), 882, 0);
  // Frame 0: the new sound's first frame (0.0025) over the old one's frame 882 at full gain.
  const auto oldAt = [](uint32_t frame) { return 0.5f * static_cast<float>(frame % 100 + 1) / 100.0f; };
  EXPECT_NEAR(buffer[0], 0.0025f + oldAt(882), 1e-5f);
  // Joined to the last frame written (881) without a jump, and no step in the fade larger than
  // the old ramp's own largest (its wrap, 0.495).
  EXPECT_LT(std::abs(buffer[0] - oldAt(881)), 0.01f);
  float largestStep = 0;
  for (uint32_t i = 1; i < 200; ++i)
    largestStep = std::max(largestStep, std::abs(buffer[i * kEngineChannels] - buffer[(i - 1) * kEngineChannels]));
  EXPECT_LE(largestStep, 0.495f);
  for (uint32_t i = kCutFadeFrames; i < 882; ++i)
    ASSERT_NEAR(buffer[i * kEngineChannels], 0.25f * static_cast<float>(i % 100 + 1) / 100.0f, 1e-6f) << i;

  ASSERT_TRUE(mixer.StopVoice(next));
  mixer.Mix(kMainOutput, buffer.data(), 882, 0);
  EXPECT_NEAR(buffer[0], 0.25f * static_cast<float>(882 % 100 + 1) / 100.0f, 1e-6f);
  EXPECT_LT(std::abs(buffer[(kCutFadeFrames - 1) * kEngineChannels]), 0.01f);
  EXPECT_EQ(buffer[kCutFadeFrames * kEngineChannels], 0.0f);
  EXPECT_FALSE(mixer.HasAudibleVoice(kMainOutput));
}

// A replace on a device that can take its queue back: the new effect is written first, and the
// old one fades out under it from the device's last frame, not from the end of what was written.
// Twice in a row (the second take-back lands in the middle of the first one's fade).
TEST(MixerCut, ATakenBackQueueIsWrittenAgainNewEffectFirst) {
  Mixer mixer(&TestClock);
  mixer.EnableTakeBack(kMainOutput, true);
  std::vector<float> buffer(882 * kEngineChannels);
  const auto oldAt = [](uint64_t frame) { return 0.5f * static_cast<float>(frame % 100 + 1) / 100.0f; };
  const uint32_t old = mixer.AddVoice(Ramp(44100, 0.5f));
  ASSERT_TRUE(mixer.PlayVoice(old, true));
  EXPECT_FALSE(mixer.TakeBackWanted(kMainOutput));  // nothing sounded before it
  mixer.Mix(kMainOutput, buffer.data(), 882, 0);  // frames 0..881 written
  ASSERT_TRUE(mixer.FreeVoice(old));
  const uint32_t next = mixer.AddVoice(Ramp(44100, 0.25f));
  ASSERT_TRUE(mixer.PlayVoice(next, true));
  ASSERT_TRUE(mixer.TakeBackWanted(kMainOutput));
  EXPECT_FALSE(mixer.TakeBackWanted(kMainOutput));  // asked once
  mixer.TakeBack(kMainOutput, 441);  // the device kept frames 0..440
  mixer.Mix(kMainOutput, buffer.data(), 60, 0);
  EXPECT_NEAR(buffer[0], 0.0025f + oldAt(441), 1e-5f);
  EXPECT_LT(std::abs(buffer[0] - oldAt(440)), 0.01f);  // no jump from the last frame kept
  // 30 more frames of the fade kept, then taken back again.
  mixer.TakeBack(kMainOutput, 30);
  mixer.Mix(kMainOutput, buffer.data(), 882, 0);
  const float gainAt30 = static_cast<float>(kCutFadeFrames - 30) / kCutFadeFrames;
  EXPECT_NEAR(buffer[0], 0.25f * 31 / 100.0f + oldAt(471) * gainAt30, 1e-5f);
  for (uint32_t i = kCutFadeFrames; i < 882; ++i)
    ASSERT_NEAR(buffer[i * kEngineChannels], 0.25f * static_cast<float>((i + 30) % 100 + 1) / 100.0f, 1e-6f) << i;
  uint64_t position = 0;
  ASSERT_TRUE(mixer.VoiceFrames(next, &position, nullptr));
  EXPECT_EQ(position, 912u);
}

// A decoder busy in the middle of a piece does not hold up the thread that lets its voice go:
// the feed is retired on a thread of its own.
TEST(MixerCut, FreeingAStreamedVoiceNeverWaitsForItsDecoder) {
  struct BlockedSource final : PcmSource {
    explicit BlockedSource(std::shared_future<void> release) : release_(std::move(release)) {}
    int Channels() const override { return 2; }
    int SampleRate() const override { return kEngineRate; }
    uint64_t DeclaredFrames() const override { return 0; }
    bool ReadMore(std::vector<float>& samples) override {
      reading_.set_value();
      release_.wait();  // the decoder is in the middle of a piece
      samples.assign(64, 0.1f);
      return false;
    }
    std::shared_future<void> release_;
    std::promise<void> reading_;
  };
  std::promise<void> release;
  auto source = std::make_unique<BlockedSource>(release.get_future().share());
  std::future<void> reading = source->reading_.get_future();
  auto feed = std::make_shared<StreamFeed>(std::move(source));
  Mixer mixer(&TestClock);
  const uint32_t voice = mixer.AddStreamVoice([&feed] { return std::exchange(feed, nullptr); }, 0);
  ASSERT_NE(voice, 0u);
  reading.wait();
  auto freed = std::async(std::launch::async, [&] { return mixer.FreeVoice(voice); });
  EXPECT_EQ(freed.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "FreeVoice waited for the decoder";
  release.set_value();
  EXPECT_TRUE(freed.get());
}

// The microphone's ring under two clocks 0.1 % apart, either way, for ten minutes: held at its
// target with no gap, no skip and no click.
TEST(LiveInputDrift, TenMinutesOfClocksApartHoldTheTarget) {
  for (double drift : {0.001, -0.001}) {
    const velmora::test::DriftResult r = velmora::test::SimulateDrift(drift, 600);
    EXPECT_EQ(r.underruns, 0u) << drift;
    EXPECT_EQ(r.skips, 0u) << drift;
    EXPECT_LE(r.maxFillErrorMs, 5.0) << drift;
    EXPECT_LT(r.maxStep, 0.035) << drift << ": a 440 Hz sine at 0.5 moves at most 0.031 a sample";
    EXPECT_NEAR(r.endAmplitude, 0.5, 0.02) << drift;
  }
}

// A packet that comes late once makes the reader run dry and keep 5 ms more in hand; after a
// quiet while it gives that back, a millisecond at a time, to where it began, and no further.
TEST(LiveInputMargin, OneLatePacketDoesNotLeaveTheVoiceLaterForGood) {
  LiveInput input;
  std::vector<float> packet(441 * kEngineChannels, 0.25f);
  std::vector<float> out(441 * kEngineChannels);
  const double base = input.TargetFrames();
  const auto period = [&](bool packetComes) {
    if (packetComes) input.Write(packet.data(), 441);
    input.Read(0, out.data(), 441);
  };
  for (int i = 0; i < 5; ++i) input.Write(packet.data(), 441);  // the ring fills to its target first
  for (int i = 0; i < 500; ++i) period(true);
  EXPECT_EQ(input.Stats(0).underruns, 0u);
  for (int i = 0; i < 4; ++i) period(false);  // 40 ms without a packet
  for (int i = 0; i < 6; ++i) input.Write(packet.data(), 441);  // then all of them at once
  period(true);
  EXPECT_EQ(input.Stats(0).underruns, 1u);
  EXPECT_NEAR(input.Stats(0).targetFrames, base + 220.5, 1.0);
  for (int i = 0; i < 100 * 60; ++i) period(true);  // a quiet minute
  EXPECT_EQ(input.Stats(0).underruns, 1u);
  EXPECT_LT(input.Stats(0).targetFrames, base + 220.5 - 44);
  for (int i = 0; i < 100 * 120; ++i) period(true);
  EXPECT_NEAR(input.Stats(0).targetFrames, base, 1.0);
}
