// Even loudness (音量均衡): how close two effects 18 dB apart come out with it on, what measuring
// costs per minute of audio, and what it adds to the first play of a long file (its first 30 s
// decoded before it starts). Played on the test sound server's sink A.
#include "bench/BenchFigures.h"
#include "playback/AudioPlayer.h"
#include "playback/engine/Loudness.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace velmora::bench;
using namespace velmora::playback;
using velmora::audio::LoudnessInfo;
using velmora::test::SinkRecording;

namespace {

// The loudness of a second of what sink A plays, half a second after `path` starts.
float PlayedLoudness(AudioPlayer& player, const std::wstring& path, StreamHandle& stream) {
  SinkRecording sink("velmora_a");
  stream = player.OpenAndPlay(path, 1, stream);
  const std::vector<float> got = sink.WaitForSound(0.01, 66150);
  const long long start = velmora::test::FirstAbove(got, 0.01);
  if (stream == 0 || start < 0 || got.size() < static_cast<size_t>(start) + 66150) return LoudnessInfo::kNoLoudness;
  std::vector<float> stereo;
  for (size_t i = static_cast<size_t>(start) + 22050; i < static_cast<size_t>(start) + 66150; ++i)
    stereo.insert(stereo.end(), 2, got[i]);
  return velmora::audio::MeasureLoudness(stereo.data(), stereo.size() / 2, 44100).lufs;
}

// Milliseconds the loader takes for a file it has not seen (a fresh copy each round), with the
// long file's loudness measured or not; the median of five.
double LoadMs(AudioPlayer& player, const std::wstring& dir, const std::string& bytes, const wchar_t* ext,
              bool measure) {
  static int copies = 0;
  std::vector<double> ms;
  for (int i = 0; i < 5; ++i) {
    const std::wstring path = dir + L"\\copy" + std::to_wstring(++copies) + ext;
    velmora::test::WriteBytes(path, bytes);
    const int64_t t0 = Now();
    const auto loaded = player.Loader().Load(path, measure);
    const int64_t t1 = Now();
    if (!loaded.openStream) return -1;
    ms.push_back(TicksToMs(t1 - t0));
  }
  return Percentile(ms, 0.5);
}

}  // namespace

int main() {
  velmora::test::TempProgramDir dir(L"均衡");
  const auto tone = [&](const wchar_t* name, double seconds, double lufs) {
    const std::wstring path = dir / name;
    velmora::test::WriteBytes(path, velmora::test::ToneWav(1000, seconds, std::pow(10.0, lufs / 20.0)));
    return path;
  };
  const std::wstring loud = tone(L"loud.wav", 3, -10), quiet = tone(L"quiet.wav", 3, -28);
  const std::wstring longWav = tone(L"long.wav", 70, -28);
  AudioPlayer player;
  if (StartAudio(player, velmora::test::TestSinkDevice(L"VelmoraSinkA")) != 1) {
    std::printf("error: no audio device\n");
    return 1;
  }

  // Spread: the two effects in turn, five times each, leveling on; the widest gap seen.
  player.SetLeveling(true);
  StreamHandle stream = 0;
  double spread = 0;
  std::vector<double> levels;
  for (int i = 0; i < 5; ++i) {
    const float a = PlayedLoudness(player, loud, stream), b = PlayedLoudness(player, quiet, stream);
    spread = std::max(spread, static_cast<double>(std::fabs(a - b)));
    levels.push_back(a);
    levels.push_back(b);
  }
  player.StopChannel(stream);
  std::printf("loudness.spread_lu: %.2f LU\n", spread);
  std::printf("loudness.leveled_median_lufs: %.2f LUFS\n", Percentile(levels, 0.5));

  // The meter alone: a minute of stereo 44.1 kHz, the median of five.
  {
    std::vector<float> minute(size_t{44100} * 60 * 2);
    for (size_t i = 0; i < minute.size() / 2; ++i) {
      minute[i * 2] = static_cast<float>(0.3 * std::sin(static_cast<double>(i) * 0.142));
      minute[i * 2 + 1] = static_cast<float>(0.2 * std::sin(static_cast<double>(i) * 0.031));
    }
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
      const int64_t t0 = Now();
      const LoudnessInfo info = velmora::audio::MeasureLoudness(minute.data(), minute.size() / 2, 44100);
      ms.push_back(TicksToMs(Now() - t0));
      if (!info.Measured()) return 1;
    }
    std::printf("loudness.analysis_ms_per_minute: %.2f ms\n", Percentile(ms, 0.5));
  }

  // A long file's first play: what measuring its first 30 s adds to the loader's time, for a WAV
  // (our decoder) and an MP3 (Media Foundation), and the whole first play from the call to its
  // first samples in the device buffer.
  const std::string wavBytes = velmora::test::ReadBytes(longWav);
  // The MP3, made once from the Linux side into the build folder.
  const std::string mp3 = std::string(VELMORA_BENCH_SOUNDS_UNIX) + "/long-1k-quiet.mp3";
  velmora::test::RunHostCommand("mkdir -p " VELMORA_BENCH_SOUNDS_UNIX " && { [ -s " + mp3 +
                                    " ] || { sox -V1 -n -r 44100 -c 2 -b 16 -t wav - synth 70 sine 1000 vol 0.04 | "
                                    "lame --quiet -b 128 - " +
                                    mp3 + ".part && mv " + mp3 + ".part " + mp3 + "; }; }",
                                120000);
  const std::string mp3Bytes = velmora::test::ReadBytes(velmora::test::FromUnixPath(mp3.c_str()));
  const double wavPlain = LoadMs(player, dir.Path(), wavBytes, L".wav", false);
  const double wavMeasured = LoadMs(player, dir.Path(), wavBytes, L".wav", true);
  std::printf("loudness.stream_first_analysis_ms: %.1f ms\n", wavMeasured - wavPlain);
  if (!mp3Bytes.empty()) {
    const double mp3Plain = LoadMs(player, dir.Path(), mp3Bytes, L".mp3", false);
    const double mp3Measured = LoadMs(player, dir.Path(), mp3Bytes, L".mp3", true);
    std::printf("loudness.stream_first_analysis_mp3_ms: %.1f ms\n", mp3Measured - mp3Plain);
  }
  // The first play of a file never seen, then the next, whose loudness is remembered.
  std::vector<double> firstMs, cachedMs;
  for (int i = 0; i < 5; ++i) {
    const std::wstring path = dir / (L"first" + std::to_wstring(i) + L".wav");
    velmora::test::WriteBytes(path, wavBytes);
    for (std::vector<double>* into : {&firstMs, &cachedMs}) {
      const int64_t clicked = Now();
      stream = player.OpenAndPlay(path, 1, stream);
      for (int poll = 0; poll < 4000 && player.Engine().LastPlayTiming().firstWrite == 0; ++poll) ::Sleep(1);
      const int64_t written = player.Engine().LastPlayTiming().firstWrite;
      if (written != 0) into->push_back(TicksToMs(written - clicked));
      ::Sleep(200);
    }
  }
  std::printf("loudness.stream_first_play_ms: %.1f ms\n", Percentile(firstMs, 0.5));
  std::printf("loudness.stream_remembered_play_ms: %.1f ms\n", Percentile(cachedMs, 0.5));
  player.ReleaseLibrary();
  return 0;
}
