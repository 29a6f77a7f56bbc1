// Trigger latency, idle cost and resource flatness of the audio engine on a real (virtual)
// device: the test script's PulseAudio sink "VelmoraSinkA".
#include "bench/BenchFigures.h"
#include "playback/AudioPlayer.h"
#include "playback/engine/Devices.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace velmora::playback;

using namespace velmora::bench;

namespace {

// Waits until the render thread has written the last play's first samples; its latency in ms.
double WaitFirstWrite(AudioPlayer& player) {
  for (int i = 0; i < 2000; ++i) {
    const auto timing = player.Engine().LastPlayTiming();
    if (timing.firstWrite != 0) return TicksToMs(timing.firstWrite - timing.requested);
    ::Sleep(1);
  }
  return -1;
}

int ThreadCount() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL ok = ::Thread32First(snapshot, &entry); ok; ok = ::Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
  ::CloseHandle(snapshot);
  return count;
}

// The process's CPU time over the next `ms` milliseconds, in percent of one core.
}  // namespace

int main() {
  velmora::test::TempProgramDir dir(L"性能");
  const std::wstring cached = dir / L"cached.wav";
  velmora::test::WriteBytes(cached, velmora::test::ToneWav(1000, 1.0, 0.5));
  const std::wstring quiet = dir / L"quiet.wav";
  velmora::test::WriteBytes(quiet, velmora::test::ToneWav(1000, 2.0, 0.0));
  AudioPlayer player;
  if (StartAudio(player, velmora::test::TestSinkDevice(L"VelmoraSinkA")) != 1) {
    std::printf("error: no audio device\n");
    return 1;
  }

  // Cached sound: decode once, then 200 triggers.
  StreamHandle stream = player.OpenAndPlay(cached, 1, 0);
  WaitFirstWrite(player);
  std::vector<double> cachedMs;
  std::vector<double> replaceMs;
  for (int i = 0; i < 200; ++i) {
    ::Sleep(40 + (i * 37) % 60);  // a new effect while the last one still plays, at any point of a period
    stream = player.OpenAndPlay(cached, 1, stream);
    cachedMs.push_back(WaitFirstWrite(player));
    // The old effect is gone from everything written from now on; what the device still holds
    // ahead of the new samples plays out first.
    replaceMs.push_back(cachedMs.back() + player.Engine().LastPlayTiming().queuedFrames * 1000.0 / 44100.0);
  }
  std::printf("latency.cached.p50_ms: %.2f ms\n", Percentile(cachedMs, 0.5));
  std::printf("latency.cached.p99_ms: %.2f ms\n", Percentile(cachedMs, 0.99));
  std::printf("replace.silence_ms: %.2f ms\n", Percentile(replaceMs, 0.5));
  std::printf("replace.silence_p99_ms: %.2f ms\n", Percentile(replaceMs, 0.99));

  // End to end: from the call until the sound shows in what the sink's monitor recorded (this
  // includes PulseAudio's and the recorder's own latency, so it is an upper bound). From an idle
  // board, the usual case: the stream has stopped after a second of silence.
  std::vector<double> e2eIdleMs;
  std::vector<double> e2ePlayingMs;
  for (int i = 0; i < 40; ++i) {
    const bool fromIdle = i % 2 == 0;
    if (fromIdle) {
      player.StopChannel(stream);
      ::Sleep(1300);
    } else {
      stream = player.OpenAndPlay(quiet, 1, stream);  // silence playing: the stream runs
      ::Sleep(60 + i * 7 % 40);
    }
    velmora::test::SinkRecording sink("velmora_a");
    LARGE_INTEGER start, now;
    ::QueryPerformanceCounter(&start);
    stream = player.OpenAndPlay(cached, 1, stream);
    double ms = -1;
    for (int poll = 0; poll < 1000; ++poll) {
      if (velmora::test::FirstAbove(sink.Left(), 0.05) >= 0) {
        ::QueryPerformanceCounter(&now);
        ms = TicksToMs(now.QuadPart - start.QuadPart);
        break;
      }
      ::Sleep(1);
    }
    (fromIdle ? e2eIdleMs : e2ePlayingMs).push_back(ms);
  }
  std::printf("latency.e2e.p50_ms: %.2f ms\n", Percentile(e2eIdleMs, 0.5));
  std::printf("latency.e2e.p99_ms: %.2f ms\n", Percentile(e2eIdleMs, 0.99));
  std::printf("latency.e2e_while_playing.p50_ms: %.2f ms\n", Percentile(e2ePlayingMs, 0.5));

  // First play: a file never decoded before (decode included).
  std::vector<double> firstMs;
  for (int i = 0; i < 50; ++i) {
    const std::wstring path = dir / (L"first" + std::to_wstring(i) + L".wav");
    velmora::test::WriteBytes(path, velmora::test::ToneWav(500 + i, 0.3, 0.5));
    LARGE_INTEGER before;
    ::QueryPerformanceCounter(&before);
    stream = player.OpenAndPlay(path, 1, stream);
    WaitFirstWrite(player);
    firstMs.push_back(TicksToMs(player.Engine().LastPlayTiming().firstWrite - before.QuadPart));
  }
  std::printf("latency.first.p50_ms: %.2f ms\n", Percentile(firstMs, 0.5));
  std::printf("latency.first.p99_ms: %.2f ms\n", Percentile(firstMs, 0.99));

  // Idle: the device open and nothing playing, for 10 s, its stream stopped but its client held;
  // after the 10,000 plays, after the client was released (the program waits a quiet minute; 3 s
  // here); at the end the same with no device at all, which is what the process costs under Wine
  // without us.
  player.StopChannel(stream);
  ::Sleep(1500);  // the stream stops after a second of silence
  std::printf("idle.cpu_percent_client_held: %.3f %%\n", CpuPercentOver(10000));
  // 10,000 plays in a row.
  PROCESS_MEMORY_COUNTERS memory{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  const double memoryBefore = static_cast<double>(memory.PagefileUsage);
  DWORD handlesBefore = 0, handlesAfter = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &handlesBefore);
  const int threadsBefore = ThreadCount();
  for (int i = 0; i < 10000; ++i) stream = player.OpenAndPlay(cached, 1, stream);
  ::Sleep(200);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  ::GetProcessHandleCount(::GetCurrentProcess(), &handlesAfter);
  std::printf("plays10k.memory_growth_kb: %.0f kB\n",
              (static_cast<double>(memory.PagefileUsage) - memoryBefore) / 1024);
  std::printf("plays10k.handle_growth: %ld handles\n",
              static_cast<long>(handlesAfter) - static_cast<long>(handlesBefore));
  std::printf("plays10k.thread_growth: %d threads\n", ThreadCount() - threadsBefore);
  player.StopChannel(stream);
  ::Sleep(1500);
  constexpr DWORD kReleaseAfterMs = 3000;
  player.Engine().SetReleaseAfter(kReleaseAfterMs);
  ::Sleep(kReleaseAfterMs + 500);
  std::printf("idle.cpu_percent: %.3f %%\n", CpuPercentOver(10000));
  // The first play after a release: trigger to its first samples in the buffer, the client's
  // creation included.
  std::vector<double> afterReleaseMs, openMs, restMs;
  for (int i = 0; i < 8; ++i) {
    LARGE_INTEGER before;
    ::QueryPerformanceCounter(&before);
    stream = player.OpenAndPlay(cached, 1, stream);
    WaitFirstWrite(player);
    afterReleaseMs.push_back(TicksToMs(player.Engine().LastPlayTiming().firstWrite - before.QuadPart));
    openMs.push_back(player.Engine().LastOutputOpenMs());
    restMs.push_back(afterReleaseMs.back() - openMs.back());
    player.StopChannel(stream);
    ::Sleep(1000 + kReleaseAfterMs + 500);
  }
  std::printf("latency.after_release_ms: %.2f ms\n", Percentile(afterReleaseMs, 0.5));
  std::printf("latency.after_release_p99_ms: %.2f ms\n", Percentile(afterReleaseMs, 0.99));
  std::printf("latency.after_release.client_creation_ms: %.2f ms\n", Percentile(openMs, 0.5));
  std::printf("latency.after_release.rest_ms: %.2f ms\n", Percentile(restMs, 0.5));
  std::printf("latency.after_release.rest_p99_ms: %.2f ms\n", Percentile(restMs, 0.99));
  player.Engine().SetReleaseAfter(60000);
  player.ReleaseLibrary();
  std::printf("idle.cpu_percent_without_device: %.3f %%\n", CpuPercentOver(10000));
  return 0;
}
