// The player and the effect triggering on real (virtual) output devices: two PulseAudio null
// sinks whose monitors the test script records. What is checked is what came out.
#include "config/ConfigStore.h"
#include "playback/AudioPlayer.h"
#include "playback/Playback.h"
#include "playback/engine/Devices.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>

using namespace velmora::playback;
using velmora::test::SinkRecording;
using velmora::test::SleepMs;
using velmora::test::ToneAmplitude;

namespace {

class CountingReporter : public FailureReporter {
 public:
  void OpenFailed() override { ++failures; }
  int failures = 0;
};

int DeviceNamed(const AudioPlayer& player, const std::wstring& name) {
  for (int n = velmora::audio::kFirstEndpointDevice; n < 128; ++n) {
    const std::wstring found = player.DeviceName(n);
    if (found == kNoDeviceName) break;
    if (found.find(name) != std::wstring::npos) return n;
  }
  return -1;
}

class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kilo_ = dir_ / L"千赫.wav";
    low_ = dir_ / L"低音.wav";
    velmora::test::WriteBytes(kilo_, velmora::test::ToneWav(1000, 3.0, 0.5));
    velmora::test::WriteBytes(low_, velmora::test::ToneWav(440, 3.0, 0.5));
    sinkA_ = DeviceNamed(player_, L"VelmoraSinkA");
    sinkB_ = DeviceNamed(player_, L"VelmoraSinkB");
    ASSERT_GE(sinkA_, 2) << "the test sinks are missing: run the tests through scripts/test.sh";
    ASSERT_GE(sinkB_, 2);
  }
  void TearDown() override { player_.ReleaseLibrary(); }

  velmora::test::TempProgramDir dir_{L"音频"};
  velmora::config::ConfigStore store_{dir_.Path()};
  AudioPlayer player_;
  CountingReporter reporter_;
  Playback playback_{player_, store_, reporter_};
  std::wstring kilo_, low_;
  int sinkA_ = -1, sinkB_ = -1;
};

}  // namespace

TEST_F(AudioTest, DevicesAreNumberedAndNamed) {
  EXPECT_NE(sinkA_, sinkB_);
  EXPECT_EQ(player_.DeviceName(0), velmora::audio::kNoSoundDeviceName);
  EXPECT_EQ(player_.DeviceName(1), velmora::audio::kDefaultDeviceName);
  EXPECT_EQ(player_.DeviceName(500), L"!!!!!!");
  EXPECT_EQ(StartAudio(player_, 500), 0);
  EXPECT_EQ(StartAudio(player_, sinkA_), 1);
  EXPECT_EQ(player_.Initialise(0, sinkB_, 44100, 0, nullptr, nullptr), 0);  // already started
}

TEST_F(AudioTest, EffectSoundsOnTheChosenDeviceOnly) {
  for (const auto& [device, other] : {std::pair{sinkA_, sinkB_}, std::pair{sinkB_, sinkA_}}) {
    ASSERT_EQ(StartAudio(player_, device), 1);
    SinkRecording chosen(device == sinkA_ ? "velmora_a" : "velmora_b");
    SinkRecording silent(device == sinkA_ ? "velmora_b" : "velmora_a");
    ASSERT_TRUE(playback_.PlayFile(kilo_));
    EXPECT_EQ(playback_.PlaybackStatus(), kStatusPlaying);
    SleepMs(700);
    const std::vector<float> played = chosen.Left();
    const long long start = velmora::test::FirstAbove(played, 0.05);
    ASSERT_GE(start, 0) << "nothing came out of the chosen device";
    EXPECT_NEAR(ToneAmplitude(played, 1000, static_cast<size_t>(start) + 2000, 8820), 0.5, 0.08);
    EXPECT_LT(velmora::test::Peak(silent.Left()), 0.01);
    player_.ReleaseLibrary();
  }
}

TEST_F(AudioTest, NextEffectReplacesTheFirstAndStopSilences) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  SinkRecording sink("velmora_a");
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  SleepMs(400);
  ASSERT_TRUE(playback_.PlayFile(low_));
  SleepMs(600);
  playback_.StopPlayback();
  EXPECT_EQ(playback_.PlaybackStatus(), kStatusStopped);
  SleepMs(400);
  const std::vector<float> played = sink.Left();
  const long long start = velmora::test::FirstAbove(played, 0.05);
  ASSERT_GE(start, 0);
  const size_t s = static_cast<size_t>(start);
  // First 1 kHz alone, then 440 Hz alone (never both), then nothing.
  EXPECT_GT(ToneAmplitude(played, 1000, s + 1000, 8000), 0.4);
  EXPECT_LT(ToneAmplitude(played, 440, s + 1000, 8000), 0.05);
  const size_t second = s + 44100 * 400 / 1000 + 6000;  // well after the switch
  EXPECT_GT(ToneAmplitude(played, 440, second, 8000), 0.4);
  EXPECT_LT(ToneAmplitude(played, 1000, second, 8000), 0.05);
  ASSERT_GT(played.size(), 8000u);
  EXPECT_LT(velmora::test::Peak(played, played.size() - 8000), 0.01) << "sound went on after stop";
}

TEST_F(AudioTest, BoardVolumeHalvesAndLowestStepMutes) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  store_.WriteValue(L"常用路径", L"1", kilo_);
  playback_.SetVolumeLevel(50);
  SinkRecording half("velmora_a");
  playback_.PlayEffect(1, 1);
  SleepMs(600);
  std::vector<float> played = half.Left();
  long long start = velmora::test::FirstAbove(played, 0.02);
  ASSERT_GE(start, 0);
  EXPECT_NEAR(ToneAmplitude(played, 1000, static_cast<size_t>(start), 8820), 0.25, 0.05)
      << "the first buffer must already have the board's volume";

  playback_.SetVolumeLevel(1);
  playback_.StopPlayback();
  SleepMs(300);  // let what is already queued in the device play out
  SinkRecording muted("velmora_a");
  playback_.PlayEffect(1, 1);
  SleepMs(500);
  EXPECT_LT(velmora::test::Peak(muted.Left()), 0.005);
  EXPECT_EQ(playback_.PlaybackStatus(), kStatusPlaying);

  // A hotkey-style play is full volume; a volume step brings it to the board's level at once.
  playback_.SetVolumeLevel(30);
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  SleepMs(300);
  SinkRecording stepped("velmora_a");
  playback_.StepVolume(-10);  // 20
  SleepMs(400);
  played = stepped.Left();
  EXPECT_NEAR(ToneAmplitude(played, 1000, played.size() - 8820, 8820), 0.1, 0.03);
  EXPECT_EQ(store_.ReadValue(L"idv", L"v"), L"20");
}

TEST_F(AudioTest, NoSoundDevicePlaysSilentlyAndAdvances) {
  ASSERT_EQ(StartAudio(player_, 0), 1);
  SinkRecording a("velmora_a");
  SinkRecording b("velmora_b");
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  SleepMs(500);
  const double position = player_.ChannelPosition(playback_.CurrentStream());
  EXPECT_GT(position, 0.3);
  EXPECT_LT(position, 0.8);
  EXPECT_LT(velmora::test::Peak(a.Left()), 0.01);
  EXPECT_LT(velmora::test::Peak(b.Left()), 0.01);
}

TEST_F(AudioTest, BadFilesFailCleanly) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  velmora::test::WriteBytes(dir_ / L"empty.wav", "");
  velmora::test::WriteBytes(dir_ / L"noise.mp3", std::string(5000, '\x5A'));
  velmora::test::WriteBytes(dir_ / L"noise.wav", "RIFF\xFF\xFF\xFF\xFFWAVEjunkjunkjunk");
  std::string lying = velmora::test::ToneWav(1000, 0.1, 0.5);
  lying[22] = 0;  // zero channels
  lying[23] = 0;
  velmora::test::WriteBytes(dir_ / L"zero-channels.wav", lying);
  ::CreateDirectoryW((dir_ / L"folder.wav").c_str(), nullptr);
  const std::wstring longPath = dir_.Path() + L"\\" + std::wstring(270, L'长') + L".wav";

  ASSERT_TRUE(playback_.PlayFile(kilo_));
  for (const std::wstring& bad : {dir_ / L"empty.wav", dir_ / L"noise.mp3", dir_ / L"noise.wav",
                                  dir_ / L"zero-channels.wav", dir_ / L"folder.wav", dir_ / L"missing.wav", longPath}) {
    const int before = reporter_.failures;
    EXPECT_FALSE(playback_.PlayFile(bad));
    EXPECT_EQ(reporter_.failures, before + 1);
    EXPECT_EQ(playback_.CurrentStream(), 0u);
  }
  EXPECT_EQ(playback_.PlaybackStatus(), kStatusPlaying);  // a failure leaves the status alone
  // An empty slot does nothing at all: no message, the effect goes on.
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  const StreamHandle playing = playback_.CurrentStream();
  const int before = reporter_.failures;
  playback_.PlayEffect(2, 5);
  EXPECT_EQ(playback_.CurrentStream(), playing);
  EXPECT_EQ(reporter_.failures, before);
  EXPECT_EQ(player_.OpenAndPlay(L"", 1, playing), 0u);
  uint64_t position = 0;
  EXPECT_TRUE(player_.Engine().VoiceFrames(playing, &position, nullptr));  // still there
}

TEST(AudioPlayerRules, VolumeStepsAndStopBeforeAnything) {
  velmora::test::TempProgramDir dir;
  velmora::config::ConfigStore store(dir.Path());
  AudioPlayer player;
  CountingReporter reporter;
  Playback playback(player, store, reporter);
  playback.StopPlayback();  // nothing played yet: nothing happens
  EXPECT_EQ(playback.PlaybackStatus(), L"");
  playback.SetVolumeLevel(10);
  playback.StepVolume(-10);
  EXPECT_EQ(playback.VolumeLevel(), 1);
  playback.StepVolume(+10);
  EXPECT_EQ(playback.VolumeLevel(), 11);
  playback.SetVolumeLevel(100);
  playback.StepVolume(+10);
  EXPECT_EQ(playback.VolumeLevel(), 100);
  EXPECT_EQ(store.ReadValue(L"idv", L"v"), L"100");
  playback.SetVolumeLevel(250);
  EXPECT_EQ(playback.VolumeLevel(), 100);
  playback.SetVolumeLevel(-3);
  EXPECT_EQ(playback.VolumeLevel(), 1);
  // Not started: every play fails with the message.
  EXPECT_FALSE(playback.PlayFile(L"C:\\windows\\win.ini"));
  EXPECT_EQ(reporter.failures, 1);
  EXPECT_EQ(player.SetChannelVolume(0.5f, 0, 0), 0);
}
