// The microphone through the board: how late the voice is at the output sink and inside the
// engine, how well the ring holds its target as two clocks drift apart, and what it costs with
// nothing else playing. On the test sound server: the voice is played into velmora_mic (whose
// monitor is the microphone), the output device is sink A.
#include "bench/BenchFigures.h"
#include "bench/FileClock.h"
#include "playback/AudioPlayer.h"
#include "tests/support/DriftSimulation.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace velmora::bench;
using namespace velmora::playback;
using velmora::test::SinkRecording;

namespace {

constexpr int kBursts = 100;
constexpr double kBurstSpacing = 0.25;  // seconds from one burst's start to the next

// Bursts of a 1 kHz tone, 30 ms each, on a silent background.
std::string BurstsWav() {
  std::vector<float> mono(static_cast<size_t>(44100 * (kBursts * kBurstSpacing + 0.5)));
  for (size_t i = 0; i < mono.size(); ++i) {
    const double t = static_cast<double>(i) / 44100;
    if (std::fmod(t, kBurstSpacing) < 0.03) mono[i] = static_cast<float>(0.5 * std::sin(2 * 3.14159265358979 * 1000 * t));
  }
  return velmora::test::StereoWav(mono);
}

// Onsets (sample indexes) of the bursts in a recording: the first sample above `threshold` after
// at least 100 ms below it.
std::vector<long long> Onsets(const std::vector<float>& s, double threshold) {
  std::vector<long long> onsets;
  size_t quiet = 4410;
  for (size_t i = 0; i < s.size(); ++i) {
    if (std::fabs(s[i]) > threshold) {
      if (quiet >= 4410) onsets.push_back(static_cast<long long>(i));
      quiet = 0;
    } else {
      ++quiet;
    }
  }
  return onsets;
}

}  // namespace

int main() {
  AudioPlayer player;
  const int a = velmora::test::TestSinkDevice(L"VelmoraSinkA");
  if (StartAudio(player, a) != 1) {
    std::printf("error: no audio device\n");
    return 1;
  }
  const int mic = velmora::test::TestSinkCaptureDevice(L"VelmoraMic");
  // Idle first, with the pass-through off, then on with nothing playing, in one run.
  ::Sleep(1500);
  const double idleOff = CpuPercentOver(10000);
  if (mic < 0 || !player.StartMic(mic, L"")) {
    std::printf("error: no microphone\n");
    return 1;
  }
  ::Sleep(1000);
  std::printf("mic.cpu_percent: %.3f %%\n", CpuPercentOver(10000));
  std::printf("mic.cpu_percent_off: %.3f %%\n", idleOff);

  // Bursts into the microphone, recorded at the source and at sink A in one run.
  const SinkRecording source("velmora_mic"), out("velmora_a");
  std::vector<double> engineMs;
  std::vector<std::pair<double, double>> pollMs;  // the clock's time at each poll
  {
    FileClock clock({&source, &out});
    velmora::test::PlayIntoSink("velmora_mic", BurstsWav());
    const double end = clock.NowMs() + (kBursts * kBurstSpacing + 1.5) * 1000;
    while (clock.NowMs() < end) {
      ::Sleep(7);
      const auto stats = player.Engine().Input()->Stats(0);
      engineMs.push_back(stats.latencyMs);
      if (std::getenv("VELMORA_MIC_TRACE"))
        std::printf("fill %.2f ms ratio %.5f under %llu skips %llu latency %.2f\n", stats.fillFrames / 44.1, stats.ratio,
                    static_cast<unsigned long long>(stats.underruns), static_cast<unsigned long long>(stats.skips),
                    stats.latencyMs);
    }
    const std::vector<float> at = source.Left(), heard = out.Left();
    const std::vector<long long> sent = Onsets(at, 0.1), got = Onsets(heard, 0.05);
    std::vector<double> sinkMs;
    const double around = clock.NowMs() - (kBursts * kBurstSpacing) * 500;
    for (long long s : sent) {
      const double sentMs = clock.FrameTimeMs(0, source.StartFrame() + s, around);
      for (long long g : got) {
        const double gotMs = clock.FrameTimeMs(1, out.StartFrame() + g, around);
        if (gotMs >= sentMs - 5 && gotMs < sentMs + 200) {
          sinkMs.push_back(gotMs - sentMs);
          break;
        }
      }
    }
    std::printf("mic.latency_p50_ms: %.2f ms\n", Percentile(sinkMs, 0.5));
    std::printf("mic.latency_p99_ms: %.2f ms\n", Percentile(sinkMs, 0.99));
    std::printf("mic.bursts_heard: %zu of %zu\n", sinkMs.size(), sent.size());
  }
  std::printf("mic.engine_latency_p50_ms: %.2f ms\n", Percentile(engineMs, 0.5));
  std::printf("mic.engine_latency_p99_ms: %.2f ms\n", Percentile(engineMs, 0.99));
  const auto live = player.Engine().Input()->Stats(0);
  std::printf("mic.live_underruns: %llu\n", static_cast<unsigned long long>(live.underruns));
  std::printf("mic.live_skips: %llu\n", static_cast<unsigned long long>(live.skips));

  // Ten minutes of two clocks 0.1 % apart, simulated.
  const velmora::test::DriftResult drift = velmora::test::SimulateDrift(0.001, 600);
  std::printf("mic.fill_error_ms_10min: %.2f ms\n", drift.maxFillErrorMs);
  std::printf("mic.drift_underruns_10min: %llu\n", static_cast<unsigned long long>(drift.underruns));
  player.ReleaseLibrary();
  return 0;
}
