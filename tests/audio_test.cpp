// The player and the effect triggering on real (virtual) output devices: two PulseAudio null
// sinks whose monitors the test script records. What is checked is what came out.
#include "base/Paths.h"
#include "config/ConfigStore.h"
#include "playback/AudioPlayer.h"
#include "playback/Leveling.h"
#include "playback/Playback.h"
#include "playback/engine/Devices.h"
#include "playback/engine/Loudness.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/Waiting.h"
#include "tests/support/TempProgramDir.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

using namespace velmora::playback;
using velmora::test::MedianToneAmplitude;
using velmora::test::SinkRecording;
using velmora::test::WaitFor;
using velmora::test::ToneAmplitude;

// Allocation failures on demand: while armed on a thread, that thread's n-th operator new throws
// std::bad_alloc, as it would when memory (or a 32-bit process's address space) runs out there.
namespace {
thread_local long long g_failAllocation = 0;  // 0: never
thread_local long long g_allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (g_failAllocation > 0 && ++g_allocations == g_failAllocation) throw std::bad_alloc();
  if (void* p = ::HeapAlloc(::GetProcessHeap(), 0, size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  if (p) ::HeapFree(::GetProcessHeap(), 0, p);
}
void operator delete(void* p, std::size_t) noexcept {
  if (p) ::HeapFree(::GetProcessHeap(), 0, p);
}

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
    const std::vector<float> played = chosen.WaitForSound(0.05, 20000);
    const long long start = velmora::test::FirstAbove(played, 0.05);
    ASSERT_GE(start, 0) << "nothing came out of the chosen device";
    EXPECT_NEAR(MedianToneAmplitude(played, 1000, static_cast<size_t>(start) + 2000, 8820), 0.5, 0.08);
    EXPECT_LT(velmora::test::Peak(silent.Left()), 0.01);
    player_.ReleaseLibrary();
  }
}

TEST_F(AudioTest, NextEffectReplacesTheFirstAndStopSilences) {
  using velmora::test::ToneOnset;
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  SinkRecording sink("velmora_a");
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  ASSERT_GE(velmora::test::FirstAbove(sink.WaitForSound(0.05, 13000), 0.05), 0);
  ASSERT_TRUE(playback_.PlayFile(low_));
  std::vector<float> played;
  WaitFor([&] { return ToneOnset(played = sink.Left(), 440, 0.25) >= 0; }, 4000);
  const long long switchAt = ToneOnset(played, 440, 0.25);
  ASSERT_GE(switchAt, 0) << "the second effect never sounded";
  sink.WaitForSamples(static_cast<size_t>(switchAt) + 13230);  // 300 ms of it
  playback_.StopPlayback();
  EXPECT_EQ(playback_.PlaybackStatus(), kStatusStopped);
  played = sink.WaitForSilence(0.01, 8000);

  const size_t s = static_cast<size_t>(switchAt);
  ASSERT_GT(s, 4000u);
  // Before the switch: 1 kHz alone. After it: 440 Hz alone. Never both at once.
  EXPECT_GT(MedianToneAmplitude(played, 1000, s - 4000, 3500), 0.4);
  EXPECT_LT(MedianToneAmplitude(played, 440, s - 4000, 3500), 0.05);
  EXPECT_GT(MedianToneAmplitude(played, 440, s + 1000, 4410), 0.4);
  EXPECT_LT(MedianToneAmplitude(played, 1000, s + 1000, 4410), 0.05);
  // The cut does not click: no step across it is larger than the two tones' own together (their
  // sum is what a crossfade can reach; a jump reaches far more).
  const double oldStep = velmora::test::LargestStep(played, s - 4000, 3500);
  const double newStep = velmora::test::LargestStep(played, s + 1000, 4410);
  const double cutStep = velmora::test::LargestStep(played, s - 1323, 2205);
  std::printf("cut step %.3f, own steps %.3f and %.3f\n", cutStep, oldStep, newStep);
  EXPECT_LE(cutStep, oldStep + newStep + 0.001) << "the cut clicked";
  // A window across the switch holds part of each; only a real mix has both near full level.
  for (size_t i = 0; i + 441 <= played.size(); i += 441) {
    const bool both = ToneAmplitude(played, 1000, i, 441) > 0.35 && ToneAmplitude(played, 440, i, 441) > 0.35;
    ASSERT_FALSE(both) << "both effects sounded together at sample " << i;
  }
  // Stopped about 300 ms into a 3 s sound: the 440 Hz part ends well before the file would.
  const long long lastLoud = [&] {
    for (size_t i = played.size(); i-- > 0;) {
      if (std::fabs(played[i]) > 0.05f) return static_cast<long long>(i);
    }
    return -1LL;
  }();
  EXPECT_LT(lastLoud - switchAt, 44100) << "sound went on after stop";
  EXPECT_LT(velmora::test::Peak(played, played.size() - 8000), 0.01);
}

// Where a device can take its queue back (on Windows; forced here, since under Wine's driver it
// clicks), a replace is written first, with nothing queued ahead of it, and the old effect is gone
// from the sink at once.
TEST_F(AudioTest, ATakenBackReplaceIsWrittenAheadOfNothing) {
  struct ForcedTakeBack {
    ForcedTakeBack() { ::SetEnvironmentVariableW(L"VELMORA_TAKE_BACK", L"1"); }
    ~ForcedTakeBack() { ::SetEnvironmentVariableW(L"VELMORA_TAKE_BACK", nullptr); }
  };
  {
    const ForcedTakeBack forced;  // read by the render thread as it opens its stream
    ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  }
  SinkRecording sink("velmora_a");
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  ASSERT_GE(velmora::test::FirstAbove(sink.WaitForSound(0.05, 13000), 0.05), 0);
  ASSERT_TRUE(playback_.PlayFile(low_));
  // Written with nothing ahead of it. (A render thread that mixed it in the instant before it saw
  // the request writes it again after the take-back, and stamps it again.)
  EXPECT_TRUE(WaitFor([&] {
    const auto timing = player_.Engine().LastPlayTiming();
    return timing.firstWrite != 0 && timing.queuedFrames == 0;
  }, 2000)) << player_.Engine().LastPlayTiming().queuedFrames << " frames were queued ahead of it";
  std::vector<float> played;
  WaitFor([&] { return velmora::test::ToneOnset(played = sink.Left(), 440, 0.25) >= 0; }, 4000);
  const long long switchAt = velmora::test::ToneOnset(played, 440, 0.25);
  ASSERT_GE(switchAt, 0) << "the second effect never sounded";
  played = sink.WaitForSamples(static_cast<size_t>(switchAt) + 6000);
  EXPECT_GT(MedianToneAmplitude(played, 440, static_cast<size_t>(switchAt) + 1000, 4410), 0.4);
  EXPECT_LT(MedianToneAmplitude(played, 1000, static_cast<size_t>(switchAt) + 1000, 4410), 0.05);
}

TEST_F(AudioTest, BoardVolumeHalvesAndLowestStepMutes) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  store_.WriteValue(L"常用路径", L"1", kilo_);
  playback_.SetVolumeLevel(50);
  SinkRecording half("velmora_a");
  playback_.PlayEffect(1, 1);
  std::vector<float> played = half.WaitForSound(0.02, 20000);
  long long start = velmora::test::FirstAbove(played, 0.02);
  ASSERT_GE(start, 0);
  EXPECT_NEAR(MedianToneAmplitude(played, 1000, static_cast<size_t>(start), 8820), 0.25, 0.05);
  EXPECT_LT(velmora::test::Peak(played, static_cast<size_t>(start), 4410), 0.3)
      << "the first buffer must already have the board's volume";

  playback_.SetVolumeLevel(1);
  playback_.StopPlayback();
  SinkRecording("velmora_a").WaitForSilence(0.005, 4410);  // what is queued in the device plays out
  SinkRecording muted("velmora_a");
  playback_.PlayEffect(1, 1);
  EXPECT_LT(velmora::test::Peak(muted.WaitForSamples(22050)), 0.005);
  EXPECT_EQ(playback_.PlaybackStatus(), kStatusPlaying);

  // A hotkey-style play is full volume; a volume step brings it to the board's level at once.
  playback_.SetVolumeLevel(30);
  SinkRecording full("velmora_a");
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  played = full.WaitForSound(0.3, 4410);
  const long long loud = velmora::test::FirstAbove(played, 0.3);
  ASSERT_GE(loud, 0);
  EXPECT_NEAR(MedianToneAmplitude(played, 1000, static_cast<size_t>(loud), 4410), 0.5, 0.08);
  SinkRecording stepped("velmora_a");
  playback_.StepVolume(-10);  // 20
  played = stepped.WaitForSamples(22050);
  ASSERT_GT(played.size(), 8820u);
  EXPECT_NEAR(MedianToneAmplitude(played, 1000, played.size() - 8820, 8820), 0.1, 0.03);
  EXPECT_EQ(store_.ReadValue(L"idv", L"v"), L"20");
}

// Each effect's own volume on both roads, under the board's on a click; and 再按停止: a second
// press of the effect that sounds stops it, by its button or by a hotkey of the same file.
TEST_F(AudioTest, EachEffectsOwnVolumeAndPressAgainToStop) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  store_.WriteValue(L"常用路径", L"1", kilo_);
  store_.WriteValue(L"常用音量", L"1", L"50");
  playback_.SetVolumeLevel(60);
  const auto amplitude = [](SinkRecording& sink) {
    const std::vector<float> played = sink.WaitForSound(0.02, 8820);
    const long long start = velmora::test::FirstAbove(played, 0.02);
    return start < 0 ? 0.0 : MedianToneAmplitude(played, 1000, static_cast<size_t>(start), 8820);
  };
  SinkRecording click("velmora_a");
  EXPECT_EQ(playback_.PlayEffect(1, 1), PlayResult::Played);
  EXPECT_NEAR(amplitude(click), 0.5 * 0.6 * 0.5, 0.03);
  SinkRecording hotkey("velmora_a");
  EXPECT_EQ(playback_.PlayHotkeyFile(kilo_, 40), PlayResult::Played);
  EXPECT_NEAR(amplitude(hotkey), 0.5 * 0.4, 0.03) << "the hotkey road ignores the board's level";
  SinkRecording stepped("velmora_a");
  playback_.StepVolume(-10);  // 50, times the hotkey's 40
  std::vector<float> played = stepped.WaitForSamples(22050);
  ASSERT_GT(played.size(), 8820u);
  EXPECT_NEAR(MedianToneAmplitude(played, 1000, played.size() - 8820, 8820), 0.5 * 0.5 * 0.4, 0.03);

  // Off (missing): a second press restarts.
  EXPECT_EQ(playback_.PlayEffect(1, 1), PlayResult::Played);
  EXPECT_EQ(playback_.PlayEffect(1, 1), PlayResult::Played);
  store_.WriteValue(L"再按停止", L"开关", L"真");
  EXPECT_EQ(playback_.PlayEffect(1, 1), PlayResult::Stopped);
  SinkRecording("velmora_a").WaitForSilence(0.005, 4410);
  SinkRecording stopped("velmora_a");
  EXPECT_LT(velmora::test::Peak(stopped.WaitForSamples(17640)), 0.005) << "pressed again, still sounding";
  EXPECT_EQ(playback_.PlayEffect(1, 1), PlayResult::Played) << "nothing sounded: the press plays";
  EXPECT_EQ(playback_.PlayHotkeyFile(low_, 100), PlayResult::Played) << "another file is not a second press";
  EXPECT_EQ(playback_.PlayHotkeyFile(low_, 100), PlayResult::Stopped);
}

TEST_F(AudioTest, NoSoundDevicePlaysSilentlyAndAdvances) {
  ASSERT_EQ(StartAudio(player_, 0), 1);
  SinkRecording a("velmora_a");
  SinkRecording b("velmora_b");
  const ULONGLONG started = ::GetTickCount64();
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  WaitFor([&] { return player_.ChannelPosition(playback_.CurrentStream()) > 0.4; }, 4000);
  const double position = player_.ChannelPosition(playback_.CurrentStream());
  const double elapsed = static_cast<double>(::GetTickCount64() - started) / 1000.0;
  // The null output consumes in real time, in steps of a few milliseconds.
  EXPECT_GT(position, 0.3);
  EXPECT_NEAR(position, std::min(elapsed, 3.0), 0.1);
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

namespace {

bool AudioControl(const std::string& action, const std::string& sink) {
  return velmora::test::ChangeSoundServer(action, sink);
}

}  // namespace

TEST_F(AudioTest, DefaultDeviceFollowsTheSystemDefault) {
  ASSERT_TRUE(AudioControl("default", "velmora_a"));
  ASSERT_EQ(StartAudio(player_, velmora::audio::kDefaultDevice), 1);
  SinkRecording a("velmora_a");
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  ASSERT_GE(velmora::test::FirstAbove(a.WaitForSound(0.05, 4410), 0.05), 0) << "default is sink A";
  playback_.StopPlayback();
  a.WaitForSilence(0.005, 4410);

  ASSERT_TRUE(AudioControl("default", "velmora_b"));
  // Windows tells the engine through its endpoint notifications; Wine never does.
  player_.Engine().OnDefaultDeviceChanged();
  SinkRecording a2("velmora_a");
  SinkRecording b("velmora_b");
  // The reopen happens on the render thread.
  ASSERT_TRUE(WaitFor([&] { return playback_.PlayFile(low_); }, 1000));
  const std::vector<float> onB = b.WaitForSound(0.05, 4410);
  EXPECT_GE(velmora::test::FirstAbove(onB, 0.05), 0) << "the effect did not follow the new default";
  const std::vector<float> onA = a2.Left();
  EXPECT_LT(velmora::test::Peak(onA), 0.01)
      << "the effect still went to the old default: 440 Hz " << MedianToneAmplitude(onA, 440, 0, onA.size())
      << ", 1 kHz " << MedianToneAmplitude(onA, 1000, 0, onA.size()) << " first "
      << velmora::test::FirstAbove(onA, 0.05) << " of " << onA.size();
  AudioControl("default", "velmora_a");
}

TEST_F(AudioTest, UnpluggedDeviceFailsPlaysUntilItIsBack) {
  ASSERT_EQ(StartAudio(player_, sinkB_), 1);
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  ASSERT_TRUE(AudioControl("unplug", "velmora_b"));
  player_.Engine().OnDeviceRemoved(L"");  // what Windows would report

  // Gone: plays fail with the message (after the engine noticed), nothing hangs or crashes.
  EXPECT_TRUE(WaitFor([&] { return !playback_.PlayFile(kilo_); }, 2000)) << "a play on the unplugged device did not fail";

  ASSERT_TRUE(AudioControl("plug", "velmora_b"));
  SinkRecording b("velmora_b");
  // The first play once it is back looks for it: no retry timer to wait for, no second click.
  ASSERT_TRUE(playback_.PlayFile(kilo_)) << "the device came back but the play failed";
  EXPECT_GE(velmora::test::FirstAbove(b.WaitForSound(0.05, 4410), 0.05), 0) << "nothing came out after recovery";
}

// A quiet output lets its client go (the system's timer with it); the next play opens it again
// and is heard, and one that finds the device gone fails with the message, as any play would.
TEST_F(AudioTest, AQuietOutputReleasesItsClientAndTheNextPlayOpensItAgain) {
  ASSERT_EQ(StartAudio(player_, sinkB_), 1);
  player_.Engine().SetReleaseAfter(200);
  const auto released = [&] { return player_.Engine().OutputReleased(); };
  EXPECT_TRUE(WaitFor(released, 4000)) << "never played, yet not released";
  SinkRecording b("velmora_b");
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  EXPECT_FALSE(released());
  EXPECT_GE(velmora::test::FirstAbove(b.WaitForSound(0.05, 4410), 0.05), 0) << "the reopened output was silent";
  playback_.StopPlayback();
  ASSERT_TRUE(WaitFor(released, 4000));  // a second of silence stops it, 200 ms later it goes

  ASSERT_TRUE(AudioControl("unplug", "velmora_b"));
  EXPECT_FALSE(playback_.PlayFile(kilo_));
  EXPECT_EQ(reporter_.failures, 1);
  ASSERT_TRUE(AudioControl("plug", "velmora_b"));
  SinkRecording back("velmora_b");
  EXPECT_TRUE(playback_.PlayFile(kilo_)) << "the device came back but the play failed";
  EXPECT_GE(velmora::test::FirstAbove(back.WaitForSound(0.05, 4410), 0.05), 0);
}

// Pulled out while it plays, with no word from the system (Wine never sends one): the stream
// stops taking samples, and the engine has to notice that by itself to find the device again.
TEST_F(AudioTest, DeviceUnpluggedWithoutNoticeComesBack) {
  ASSERT_EQ(StartAudio(player_, sinkB_), 1);
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  ASSERT_GE(velmora::test::FirstAbove(SinkRecording("velmora_b").WaitForSound(0.05, 4410), 0.05), 0);
  ASSERT_TRUE(AudioControl("unplug", "velmora_b"));
  EXPECT_TRUE(WaitFor([&] { return player_.Engine().DeviceLost(); }, 5000)) << "the engine did not notice";
  ASSERT_TRUE(AudioControl("plug", "velmora_b"));
  SinkRecording b("velmora_b");
  bool heard = false;
  for (int attempt = 0; attempt < 6 && !heard; ++attempt) {
    if (playback_.PlayFile(kilo_)) heard = velmora::test::FirstAbove(b.WaitForSound(0.05, 4410, 1000), 0.05) >= 0;
  }
  EXPECT_TRUE(heard) << "no click was heard on the device after it came back";
}

namespace {

double TicksToMs(int64_t ticks) {
  LARGE_INTEGER f;
  ::QueryPerformanceFrequency(&f);
  return static_cast<double>(ticks) * 1000.0 / static_cast<double>(f.QuadPart);
}

}  // namespace

TEST_F(AudioTest, LongFilesPlayWhileTheyDecodeInBoundedMemory) {
  const std::wstring sounds = velmora::test::FromUnixPath(VELMORA_TEST_SOUNDS_UNIX) + L"\\";
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  // Media Foundation's (MP3), then our own decoders' (Vorbis, WAV): each starts at once, from a
  // file opened for reading rather than decoded first, and nothing of it goes into the cache.
  for (const wchar_t* name : {L"long-1k-then-440.mp3", L"long-1k-then-440.ogg", L"long-1k-then-440.wav"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    const std::wstring longFile = sounds + name;
    ASSERT_TRUE(velmora::PathExists(longFile)) << "run scripts/make-test-sounds.sh";
    SinkRecording sink("velmora_a");
    LARGE_INTEGER clicked;
    ::QueryPerformanceCounter(&clicked);
    ASSERT_TRUE(playback_.PlayFile(longFile));
    EXPECT_EQ(player_.Loader().CachedSounds(), 0u);
    EXPECT_NEAR(player_.ChannelLength(playback_.CurrentStream()), 70.0, 1.0);
    std::vector<float> played = sink.WaitForSound(0.05, 44100 * 2);
    const int64_t firstWrite = player_.Engine().LastPlayTiming().firstWrite;
    ASSERT_NE(firstWrite, 0);
    // Opening a Media Foundation reader alone takes 30-220 ms under Wine.
    EXPECT_LT(TicksToMs(firstWrite - clicked.QuadPart), std::wstring(name).ends_with(L".mp3") ? 1000.0 : 150.0);
    const long long start = velmora::test::FirstAbove(played, 0.05);
    ASSERT_GE(start, 0);
    const size_t s = static_cast<size_t>(start);
    EXPECT_GT(MedianToneAmplitude(played, 1000, s + 2000, 30000), 0.4) << "the first second is 1 kHz";
    EXPECT_GT(MedianToneAmplitude(played, 440, s + 50000, 30000), 0.4) << "then 440 Hz, with no gaps";
    EXPECT_GT(player_.ChannelPosition(playback_.CurrentStream()), 1.5);
    playback_.StopPlayback();
    sink.WaitForSilence(0.01, 4410);
  }

  // Starting one again (the same file again) plays from its beginning.
  const std::wstring longFile = sounds + L"long-1k-then-440.ogg";
  ASSERT_TRUE(playback_.PlayFile(longFile));
  ASSERT_TRUE(WaitFor([&] { return player_.ChannelPosition(playback_.CurrentStream()) >= 1.5; }, 5000));
  SinkRecording again("velmora_a");
  ASSERT_TRUE(playback_.PlayFile(longFile));
  std::vector<float> played = again.WaitForSound(0.05, 20000);
  ASSERT_GE(velmora::test::FirstAbove(played, 0.05), 0);
  EXPECT_GT(MedianToneAmplitude(played, 1000, played.size() - 13000, 13000), 0.4);
  playback_.StopPlayback();
  EXPECT_GE(velmora::test::FirstAbove(again.WaitForSilence(0.01, 8000), 0.0), 0);
}

// Twelve minutes at 22,050 Hz: its length converted to 44.1 kHz is past what a whole decode
// may hold, so it has to play as a stream, at its whole length.
TEST_F(AudioTest, TwelveMinuteOggPlays) {
  const std::wstring path = velmora::test::FromUnixPath(VELMORA_TEST_SOUNDS_UNIX) + L"\\long-12min-22050.ogg";
  ASSERT_TRUE(velmora::PathExists(path)) << "run scripts/make-test-sounds.sh";
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  SinkRecording sink("velmora_a");
  ASSERT_TRUE(playback_.PlayFile(path));
  EXPECT_NEAR(player_.ChannelLength(playback_.CurrentStream()), 720.0, 0.05);
  const std::vector<float> played = sink.WaitForSound(0.05, 8820);
  const long long start = velmora::test::FirstAbove(played, 0.05);
  ASSERT_GE(start, 0);
  EXPECT_NEAR(MedianToneAmplitude(played, 440, static_cast<size_t>(start) + 2000, 4410), 0.5, 0.08);
}

// Every allocation the play path makes on the UI thread is failed in turn, one play each: the
// play fails with the message (or, where the allocation could be done without, plays), and
// nothing leaves it as an exception, which in a message handler would end the program.
TEST_F(AudioTest, RunningOutOfMemoryAnywhereOnThePlayPathFailsThePlay) {
  const std::wstring sounds = velmora::test::FromUnixPath(VELMORA_TEST_SOUNDS_UNIX) + L"\\";
  for (const std::wstring& path : {kilo_, sounds + L"sine1k.ogg", sounds + L"long-1k-then-440.wav",
                                   sounds + L"long-1k-then-440.ogg", sounds + L"sine1k.mp3"}) {
    SCOPED_TRACE(testing::PrintToString(path));
    ASSERT_TRUE(velmora::PathExists(path)) << "run scripts/make-test-sounds.sh";
    long long n = 1;
    for (;; ++n) {
      AudioPlayer player;
      CountingReporter reporter;
      Playback playback(player, store_, reporter);
      ASSERT_EQ(player.Initialise(0, velmora::audio::kNoSoundDevice, 44100, 0, nullptr, nullptr), 1);
      g_allocations = 0;
      g_failAllocation = n;
      bool played = false;
      bool threw = false;
      try {
        played = playback.PlayFile(path);
      } catch (...) {
        threw = true;
      }
      const long long reached = g_allocations;
      g_failAllocation = 0;
      ASSERT_FALSE(threw) << "an exception left the play when allocation " << n << " failed";
      EXPECT_EQ(reporter.failures, played ? 0 : 1) << n;
      if (reached < n) {  // the play needed fewer: each of its allocations has failed once
        EXPECT_TRUE(played) << "with memory to spare the file plays";
        break;
      }
    }
    EXPECT_GT(n, 10) << "a play allocates more than this; the failures did not reach it";
  }
}

namespace {

struct DialogSeen {
  std::wstring caption;
  std::wstring text;
  bool hasIcon = false;
  bool hasOnlyOk = false;
  bool closed = false;
};

BOOL CALLBACK CollectDialogText(HWND child, LPARAM param) {
  auto* seen = reinterpret_cast<DialogSeen*>(param);
  wchar_t className[64] = {};
  ::GetClassNameW(child, className, 64);
  if (std::wstring(className) == L"Static") {
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      seen->hasIcon = true;
    } else {
      wchar_t text[256] = {};
      ::GetWindowTextW(child, text, 256);
      if (text[0] != 0) seen->text = text;
    }
  }
  return TRUE;
}

// Finds the message box the playback shows, reads it and presses its only button.
DWORD WINAPI AnswerMessageBox(LPVOID param) {
  auto* seen = static_cast<DialogSeen*>(param);
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = ::FindWindowW(L"#32770", L"错误")) != nullptr; }, 5000)) return 0;
  seen->caption = L"错误";
  ::EnumChildWindows(box, CollectDialogText, reinterpret_cast<LPARAM>(seen));
  seen->hasOnlyOk = ::GetDlgItem(box, IDOK) != nullptr && ::GetDlgItem(box, IDCANCEL) == nullptr &&
                    ::GetDlgItem(box, IDYES) == nullptr;
  seen->closed = ::PostMessageW(box, WM_COMMAND, IDOK, 0) != FALSE;
  return 0;
}

}  // namespace

TEST_F(AudioTest, FailedPlayShowsTheMessageBox) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  MessageBoxReporter boxes;
  Playback shown(player_, store_, boxes);
  DialogSeen seen;
  HANDLE answer = ::CreateThread(nullptr, 0, AnswerMessageBox, &seen, 0, nullptr);
  EXPECT_FALSE(shown.PlayFile(dir_ / L"missing.wav"));  // returns once the box is closed
  ::WaitForSingleObject(answer, 10000);
  ::CloseHandle(answer);
  EXPECT_EQ(seen.caption, L"错误");
  EXPECT_EQ(seen.text, L"打开文件失败");
  EXPECT_TRUE(seen.hasIcon) << "the exclamation mark";
  EXPECT_TRUE(seen.hasOnlyOk);
  EXPECT_TRUE(seen.closed);
  EXPECT_EQ(shown.PlaybackStatus(), L"");
}

// A WAV of ToneWav's (16-bit) with its header saying another layout.
std::string WithLayout(std::string wav, uint16_t channels, uint32_t rate) {
  const auto put = [&wav](size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) wav[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
  };
  put(22, channels, 2);
  put(24, rate, 4);
  put(28, rate * channels * 2u, 4);
  put(32, channels * 2u, 2);
  return wav;
}

size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
  return counters.PrivateUsage;
}

// Layouts the engine does not play are refused when opened, before anything is sized from them
// (a 1 Hz header once made the stream converter ask for gigabytes); one after another they leave
// the engine playing and the memory where it was. A header that merely lies about the length plays
// what is there.
TEST_F(AudioTest, OddLayoutsAreRefusedAndCostNoMemory) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  const std::string tone = velmora::test::ToneWav(1000, 0.2, 0.5);
  const struct {
    const wchar_t* name;
    uint16_t channels;
    uint32_t rate;
  } odd[] = {{L"1hz.wav", 1, 1}, {L"7999hz.wav", 1, 7999}, {L"384001hz.wav", 1, 384001}, {L"9ch.wav", 9, 44100},
             {L"0hz.wav", 1, 0}, {L"4000000000hz.wav", 1, 4000000000u}};
  ASSERT_TRUE(playback_.PlayFile(kilo_));  // the engine and its caches warmed first
  playback_.StopPlayback();
  const size_t before = PrivateBytes();
  for (int round = 0; round < 3; ++round) {
    for (const auto& layout : odd) {
      SCOPED_TRACE(layout.name);
      velmora::test::WriteBytes(dir_ / layout.name, WithLayout(tone, layout.channels, layout.rate));
      const int failures = reporter_.failures;
      EXPECT_FALSE(playback_.PlayFile(dir_ / layout.name));
      EXPECT_EQ(reporter_.failures, failures + 1);
    }
  }
  // Ogg the same way: a header that says 1 Hz (the page's checksum no longer holds), and cut short.
  const std::string ogg =
      velmora::test::ReadBytes(velmora::test::FromUnixPath(VELMORA_TEST_SOUNDS_UNIX) + L"\\sine1k.ogg");
  ASSERT_GT(ogg.size(), 400u) << "run scripts/make-test-sounds.sh";
  std::string oneHz = ogg;
  oneHz.replace(40, 4, std::string("\x01\0\0\0", 4));
  velmora::test::WriteBytes(dir_ / L"1hz.ogg", oneHz);
  velmora::test::WriteBytes(dir_ / L"cut.ogg", ogg.substr(0, 300));
  for (const wchar_t* name : {L"1hz.ogg", L"cut.ogg"}) {
    const int failures = reporter_.failures;
    EXPECT_FALSE(playback_.PlayFile(dir_ / name)) << name;
    EXPECT_EQ(reporter_.failures, failures + 1);
  }
  EXPECT_LT(PrivateBytes(), before + (size_t{16} << 20)) << "odd files swelled the program";
  // The edges of what plays, and a header that says two minutes over a fifth of a second.
  for (const auto& [channels, rate] : {std::pair<uint16_t, uint32_t>{8, 8000}, {1, 384000}}) {
    velmora::test::WriteBytes(dir_ / L"edge.wav", WithLayout(tone, channels, rate));
    EXPECT_TRUE(playback_.PlayFile(dir_ / L"edge.wav")) << channels << " " << rate;
  }
  std::string lying = tone;
  lying[40] = '\x00';
  lying[41] = '\x00';
  lying[42] = '\xA0';
  lying[43] = '\x00';  // 10 MB of data declared
  velmora::test::WriteBytes(dir_ / L"lying.wav", lying);
  EXPECT_TRUE(playback_.PlayFile(dir_ / L"lying.wav"));
  EXPECT_LT(PrivateBytes(), before + (size_t{16} << 20));
}

TEST_F(AudioTest, HugeSparseFileFailsWithoutReadingItAll) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  const std::wstring sparse = dir_ / L"sparse.mp3";
  HANDLE file = ::CreateFileW(sparse.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 2LL << 30;
  ::SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
  ::SetEndOfFile(file);
  ::CloseHandle(file);
  const ULONGLONG started = ::GetTickCount64();
  EXPECT_FALSE(playback_.PlayFile(sparse));
  EXPECT_LT(::GetTickCount64() - started, 15000u);
  EXPECT_EQ(reporter_.failures, 1);
}

TEST_F(AudioTest, EveryFormatComesOutAsTheSameTone) {
  const std::wstring sounds = velmora::test::FromUnixPath(VELMORA_TEST_SOUNDS_UNIX) + L"\\";
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  for (const wchar_t* name : {L"sine1k-s16-stereo-44100.wav", L"sine1k-u8-mono-22050.wav",
                              L"sine1k-s24-stereo-48000.wav", L"sine1k-f32-mono-44100.wav", L"sine1k.mp3",
                              L"sine1k.ogg", L"sine1k.flac", L"sine1k.m4a", L"sine1k.wma", L"乗车.mp3"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    ASSERT_TRUE(velmora::PathExists(sounds + name)) << "run scripts/make-test-sounds.sh";
    SinkRecording sink("velmora_a");
    ASSERT_TRUE(playback_.PlayFile(sounds + name));
    const std::vector<float> played = sink.WaitForSound(0.05, 13230);
    const long long start = velmora::test::FirstAbove(played, 0.05);
    ASSERT_GE(start, 0) << "nothing came out";
    EXPECT_NEAR(MedianToneAmplitude(played, 1000, static_cast<size_t>(start) + 2205, 8820), 0.5, 0.1);
    sink.WaitForSilence(0.01, 4410);
  }
  // Files no decoder takes: the message, never a crash or a hang.
  for (const wchar_t* name : {L"empty.wav", L"empty.mp3", L"random.mp3", L"random.wav", L"random.ogg", L"random.flac",
                              L"random.m4a", L"truncated.mp3", L"lying-sizes.wav"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    const int before = reporter_.failures;
    EXPECT_FALSE(playback_.PlayFile(sounds + name));
    EXPECT_EQ(reporter_.failures, before + 1);
  }
}

// The monitor end to end, on both test sinks at once: sink A is the stream's device, sink B the
// host's headphones.
TEST_F(AudioTest, MonitorPlaysWithTheOutputAndOutlivesBeingUnplugged) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  ASSERT_TRUE(player_.StartMonitor(sinkB_, L""));
  player_.SetMonitorLevel(50);
  playback_.SetVolumeLevel(80);
  {
    SinkRecording a("velmora_a");
    SinkRecording b("velmora_b");
    ASSERT_TRUE(playback_.PlayFile(kilo_));  // the hotkey road: full board volume
    const std::vector<float> onA = a.WaitForSound(0.05, 8820);
    const std::vector<float> onB = b.WaitForSound(0.05, 8820);
    const long long startA = velmora::test::ToneOnset(onA, 1000, 0.1);
    const long long startB = velmora::test::ToneOnset(onB, 1000, 0.05);
    ASSERT_GE(startA, 0);
    ASSERT_GE(startB, 0) << "nothing came out of the monitor";
    EXPECT_NEAR(MedianToneAmplitude(onA, 1000, static_cast<size_t>(startA) + 2000, 4410), 0.5, 0.08);
    EXPECT_NEAR(MedianToneAmplitude(onB, 1000, static_cast<size_t>(startB) + 2000, 4410), 0.25, 0.05);
    // Replaced and stopped together.
    ASSERT_TRUE(playback_.PlayFile(low_));
    const std::vector<float> lowB = b.WaitForSound(0.05, onB.size() - static_cast<size_t>(startB) + 8820);
    EXPECT_NEAR(MedianToneAmplitude(lowB, 440, lowB.size() - 4410, 4410), 0.25, 0.05);
    EXPECT_LT(MedianToneAmplitude(lowB, 1000, lowB.size() - 4410, 4410), 0.02);
    playback_.StopPlayback();
    EXPECT_GE(velmora::test::FirstAbove(a.WaitForSilence(0.01, 4410), 0.05), 0);
    const std::vector<float> quietB = b.WaitForSilence(0.01, 4410);
    EXPECT_LT(velmora::test::Peak(quietB, quietB.size() - 4410), 0.01) << "the monitor played on after stop";
  }

  // The monitor unplugged: the output plays on, plays succeed without a word; it comes back on
  // its own.
  ASSERT_TRUE(AudioControl("unplug", "velmora_b"));
  player_.Engine().OnDeviceRemoved(L"");
  SinkRecording a("velmora_a");
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  const std::vector<float> stillA = a.WaitForSound(0.05, 8820);
  EXPECT_GE(velmora::test::ToneOnset(stillA, 1000, 0.1), 0) << "losing the monitor silenced the output";
  EXPECT_EQ(reporter_.failures, 0);
  ASSERT_TRUE(AudioControl("plug", "velmora_b"));
  player_.Engine().OnDeviceArrived();
  SinkRecording b("velmora_b");
  bool heard = false;
  for (int attempt = 0; attempt < 8 && !heard; ++attempt) {
    ASSERT_TRUE(playback_.PlayFile(kilo_));
    heard = velmora::test::ToneOnset(b.WaitForSound(0.05, 4410, 1000), 1000, 0.05) >= 0;
  }
  EXPECT_TRUE(heard) << "the monitor did not come back with its device";
}

TEST_F(AudioTest, MicrophoneReachesTheOutputTheMonitorOnlyWhenAskedAndComesBackWithItsDevice) {
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  ASSERT_TRUE(player_.StartMonitor(sinkB_, L""));
  const int mic = velmora::test::TestSinkCaptureDevice(L"VelmoraMic");
  ASSERT_GE(mic, 2) << "the test microphone is missing";
  ASSERT_TRUE(player_.StartMic(mic, L""));
  player_.SetMicLevel(50);
  const std::string voice = velmora::test::ToneWav(660, 1.0, 0.5);
  // The voice's level where it is heard; returns once it is over, so voices never overlap.
  auto hear = [&](SinkRecording& at, double threshold) {
    const std::vector<float> got = at.WaitForSound(threshold, 22050);
    const long long start = velmora::test::ToneOnset(got, 660, threshold);
    at.WaitForSilence(0.01, 4410);
    return start < 0 ? -1.0 : MedianToneAmplitude(got, 660, static_cast<size_t>(start) + 2205, 8820);
  };
  {
    SinkRecording a("velmora_a"), b("velmora_b");
    ASSERT_TRUE(velmora::test::PlayIntoSink("velmora_mic", voice));
    EXPECT_NEAR(hear(a, 0.05), 0.25, 0.05) << "the voice at half its level on the output";
    EXPECT_LT(velmora::test::Peak(b.Left()), 0.01) << "the voice reached the monitor unasked";
  }
  // Asked for the devices' smallest engine period, which Wine's driver refuses: both streams fell
  // back to the usual ones (the output opened again for it), and the voice was heard above.
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll && ::GetProcAddress(ntdll, "wine_get_version")) {
    EXPECT_FALSE(player_.Engine().InputLowLatency());
    EXPECT_FALSE(player_.Engine().OutputLowLatency());
  }
  player_.SetMicToMonitor(true);
  {
    SinkRecording b("velmora_b");
    ASSERT_TRUE(velmora::test::PlayIntoSink("velmora_mic", voice));
    EXPECT_NEAR(hear(b, 0.05), 0.25, 0.05);
  }

  // The microphone unplugged: effects play on without a word; the voice comes back by itself.
  ASSERT_TRUE(AudioControl("unplug", "velmora_mic"));
  player_.Engine().OnDeviceRemoved(L"");
  SinkRecording a("velmora_a");
  ASSERT_TRUE(playback_.PlayFile(kilo_));
  EXPECT_GE(velmora::test::ToneOnset(a.WaitForSound(0.05, 8820), 1000, 0.1), 0) << "losing the microphone silenced the effects";
  EXPECT_EQ(reporter_.failures, 0);
  playback_.StopPlayback();
  ASSERT_TRUE(AudioControl("plug", "velmora_mic"));
  player_.Engine().OnDeviceArrived();
  bool back = false;
  for (int attempt = 0; attempt < 6 && !back; ++attempt) {
    SinkRecording again("velmora_a");
    ASSERT_TRUE(velmora::test::PlayIntoSink("velmora_mic", voice));
    back = hear(again, 0.05) > 0.15;
  }
  EXPECT_TRUE(back) << "the voice did not come back with its device";
}

// Even loudness (音量均衡) end to end on sink A, measured on what the sink played with the same
// meter: 1 kHz tones at -10 and -28 LUFS, and a 70 s one at -28 that plays while it decodes.
TEST_F(AudioTest, EvenLoudnessBringsEffectsToOneLevel) {
  const auto tone = [&](const wchar_t* name, double seconds, double lufs) {
    const std::wstring path = dir_ / name;
    velmora::test::WriteBytes(path, velmora::test::ToneWav(1000, seconds, std::pow(10.0, lufs / 20.0)));
    return path;
  };
  const std::wstring loud = tone(L"响.wav", 5, -10), quiet = tone(L"轻.wav", 5, -28),
                     longQuiet = tone(L"长.wav", 70, -28);
  ASSERT_EQ(StartAudio(player_, sinkA_), 1);
  // The loudness of a second of what the sink plays, half a second after `path` starts (or,
  // with no path, after now). The tones are alike in both channels: the left one stands for both.
  const auto played = [&](const std::wstring& path) {
    SinkRecording sink("velmora_a");
    if (!path.empty() && !playback_.PlayFile(path)) return velmora::audio::LoudnessInfo::kNoLoudness;
    const std::vector<float> got = sink.WaitForSound(0.01, 66150);
    const long long start = velmora::test::FirstAbove(got, 0.01);
    if (start < 0 || got.size() < static_cast<size_t>(start) + 66150) return velmora::audio::LoudnessInfo::kNoLoudness;
    std::vector<float> stereo;
    for (size_t i = static_cast<size_t>(start) + 22050; i < static_cast<size_t>(start) + 66150; ++i)
      stereo.insert(stereo.end(), 2, got[i]);
    return velmora::audio::MeasureLoudness(stereo.data(), stereo.size() / 2, 44100).lufs;
  };

  // Missing from the configuration: off, and the sounds keep their own loudness.
  ApplyLevelingSetting(player_, store_);
  EXPECT_FALSE(player_.Leveling());
  const float loudOff = played(loud), quietOff = played(quiet);
  EXPECT_NEAR(loudOff, -10.0, 0.5);
  EXPECT_NEAR(loudOff - quietOff, 18.0, 0.5);

  SetLevelingOn(player_, store_, true);
  EXPECT_EQ(store_.ReadValue(L"均衡", L"开关"), L"真");
  EXPECT_TRUE(ReadLevelingSetting(store_));
  const float loudOn = played(loud), quietOn = played(quiet);
  EXPECT_NEAR(loudOn, -16.0, 0.5);
  EXPECT_NEAR(quietOn, -16.0, 0.5);
  EXPECT_NEAR(loudOn - quietOn, 0.0, 1.0);
  // The volume buttons act on top of the leveling, and do not undo it.
  player_.SetChannelVolume(0.5f, playback_.CurrentStream(), 1);
  EXPECT_NEAR(played(L""), quietOn - 6.02, 0.5);

  // A long file is leveled from its first seconds; switching off leaves what plays as it is and
  // applies from the next play; switched on again, the file is leveled again.
  EXPECT_NEAR(played(longQuiet), quietOn, 1.0);
  SetLevelingOn(player_, store_, false);
  EXPECT_EQ(store_.ReadValue(L"均衡", L"开关"), L"假");
  EXPECT_NEAR(played(L""), quietOn, 1.0);
  EXPECT_NEAR(played(longQuiet), -28.0, 0.5);
  SetLevelingOn(player_, store_, true);
  EXPECT_NEAR(played(longQuiet), quietOn, 1.0);
  playback_.StopPlayback();
}
