// The monitor: how closely its sound follows the output device's, how fast a trigger reaches its
// buffer, and what it costs while nothing plays. On the test sound server's two sinks: A is the
// output device, B the monitor.
#include "bench/BenchFigures.h"
#include "bench/FileClock.h"
#include "playback/AudioPlayer.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace velmora::bench;
using namespace velmora::playback;
using velmora::test::SinkRecording;

int main() {
  velmora::test::TempProgramDir dir(L"监听");
  const std::wstring click = dir / L"click.wav";
  velmora::test::WriteBytes(click, velmora::test::ToneWav(1000, 0.3, 0.5));
  AudioPlayer player;
  const int a = velmora::test::TestSinkDevice(L"VelmoraSinkA"), b = velmora::test::TestSinkDevice(L"VelmoraSinkB");
  if (StartAudio(player, a) != 1 || !player.StartMonitor(b, L"")) {
    std::printf("error: no audio device\n");
    return 1;
  }

  // One click at a time, recorded on both sinks in one run; from an idle board (the streams
  // stopped) and while something plays.
  constexpr int kClicks = 100;
  const SinkRecording wholeA("velmora_a"), wholeB("velmora_b");
  std::vector<double> skewMs;
  {
    FileClock clock({&wholeA, &wholeB});
    StreamHandle stream = 0;
    for (int i = 0; i < kClicks; ++i) {
      ::Sleep(i % 2 == 0 ? 1300 : 60 + (i * 37) % 60);
      const SinkRecording onA("velmora_a"), onB("velmora_b");
      stream = player.OpenAndPlay(click, 1, stream);
      const double playedMs = clock.NowMs();
      const long long startA = velmora::test::FirstAbove(onA.WaitForSound(0.05, 4410), 0.1);
      const long long startB = velmora::test::FirstAbove(onB.WaitForSound(0.05, 4410), 0.1);
      if (startA < 0 || startB < 0) continue;
      ::Sleep(300);  // polls after the onset, for the best case around it
      skewMs.push_back(clock.FrameTimeMs(0, onA.StartFrame() + startA, playedMs) -
                       clock.FrameTimeMs(1, onB.StartFrame() + startB, playedMs));
      if (std::getenv("VELMORA_SKEW_TRACE")) std::printf("click %d: %.2f ms\n", i, skewMs.back());
    }
  }
  std::vector<double> absSkew;
  for (double s : skewMs) absSkew.push_back(s < 0 ? -s : s);
  std::printf("monitor.onset_skew_p50_ms: %.2f ms\n", Percentile(absSkew, 0.5));
  std::printf("monitor.onset_skew_p99_ms: %.2f ms\n", Percentile(absSkew, 0.99));
  std::printf("monitor.onset_skew_signed_p50_ms: %.2f ms\n", Percentile(skewMs, 0.5));
  std::printf("monitor.onset_skew_p90_ms: %.2f ms\n", Percentile(absSkew, 0.9));
  std::printf("monitor.onset_clicks_heard: %zu of %d\n", skewMs.size(), kClicks);

  // Trigger to first samples in each device's buffer, a cached sound.
  std::vector<double> mainMs, monitorMs;
  StreamHandle stream = player.OpenAndPlay(click, 1, 0);
  for (int i = 0; i < 200; ++i) {
    ::Sleep(40 + (i * 37) % 60);
    stream = player.OpenAndPlay(click, 1, stream);
    for (int wait = 0; wait < 2000; ++wait) {
      if (player.Engine().LastPlayTiming(velmora::audio::kMainOutput).firstWrite != 0 &&
          player.Engine().LastPlayTiming(velmora::audio::kMonitorOutput).firstWrite != 0)
        break;
      ::Sleep(1);
    }
    for (auto [output, into] :
         {std::pair{velmora::audio::kMainOutput, &mainMs}, std::pair{velmora::audio::kMonitorOutput, &monitorMs}}) {
      const auto timing = player.Engine().LastPlayTiming(output);
      if (timing.firstWrite != 0) into->push_back(TicksToMs(timing.firstWrite - timing.requested));
    }
  }
  std::printf("monitor.latency.cached.p50_ms: %.2f ms\n", Percentile(monitorMs, 0.5));
  std::printf("monitor.latency.cached.p99_ms: %.2f ms\n", Percentile(monitorMs, 0.99));
  std::printf("monitor.output_latency.cached.p50_ms: %.2f ms\n", Percentile(mainMs, 0.5));

  // Idle with the monitor on, then with it off, in one run.
  player.StopChannel(stream);
  ::Sleep(1500);  // both streams stop after a second of silence
  std::printf("monitor.idle_cpu_percent: %.3f %%\n", CpuPercentOver(10000));
  player.StopMonitor();
  std::printf("monitor.idle_cpu_percent_monitor_off: %.3f %%\n", CpuPercentOver(10000));
  player.ReleaseLibrary();
  return 0;
}
