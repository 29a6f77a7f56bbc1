// The microphone through the board: how late the voice is at the output sink and inside the
// engine, how well the ring holds its target as two clocks drift apart, and what it costs with
// nothing else playing. On the test sound server: the voice is played into velmora_mic (whose
// monitor is the microphone), the output device is sink A.
#include "bench/BenchFigures.h"
#include "bench/FileClock.h"
#include "playback/AudioPlayer.h"
#include "playback/engine/Clock.h"
#include "playback/engine/Devices.h"
#include "playback/engine/DeviceThread.h"
#include "tests/support/DriftSimulation.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <functional>
#include <map>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
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

// The process's CPU over the next `ms` milliseconds, in percent of one core, by thread name
// (the engine names its device threads; the rest are Wine's and the benchmark's: "other").
std::map<std::wstring, double> CpuPercentByThreadOver(DWORD ms) {
  using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const auto describe = reinterpret_cast<GetDescription>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  struct Seen {
    HANDLE handle;
    std::wstring name;
    int64_t before;
  };
  auto cpu = [](HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return int64_t{0};
    auto ticks = [](FILETIME f) { return (static_cast<int64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return ticks(kernel) + ticks(user);
  };
  std::vector<Seen> threads;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL ok = ::Thread32First(snapshot, &entry); ok; ok = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != ::GetCurrentProcessId()) continue;
    const HANDLE thread = ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    std::wstring name = L"other";
    PWSTR description = nullptr;
    if (describe && SUCCEEDED(describe(thread, &description)) && description) {
      if (std::wcsncmp(description, L"velmora ", 8) == 0) name = description + 8;
      ::LocalFree(description);
    }
    threads.push_back({thread, name, cpu(thread)});
  }
  ::CloseHandle(snapshot);
  const int64_t t0 = Now();
  ::Sleep(ms);
  const double wallMs = TicksToMs(Now() - t0);
  std::map<std::wstring, double> percent;
  for (const Seen& seen : threads) {
    percent[seen.name] += 100.0 * static_cast<double>(cpu(seen.handle) - seen.before) / 10000.0 / wallMs;
    ::CloseHandle(seen.handle);
  }
  return percent;
}

// The platform's floor: a pass-through with nothing of ours in it. Capture and render opened
// with the smallest buffers the driver allows (shared mode, event-driven, the engine's format),
// each capture packet copied straight into the render buffer. Runs until `stop`.
void BaselinePassThrough(const std::wstring& captureId, const std::wstring& renderId, std::atomic<bool>& stop,
                         std::atomic<bool>& running) {
  using namespace velmora::audio;
  using velmora::ComPtr;
  using velmora::UniqueKernelHandle;
  DeviceThread thread;
  ComPtr<IAudioClient> capture, render;
  ComPtr<IAudioCaptureClient> captureClient;
  ComPtr<IAudioRenderClient> renderClient;
  UniqueKernelHandle renderEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  UINT32 renderFrames = 0;
  if (FAILED(thread.Created()) ||
      FAILED(OpenEngineClient(thread.Enumerator(), captureId, eCapture, 1, thread.Event(), capture)) ||
      FAILED(OpenEngineClient(thread.Enumerator(), renderId, eRender, 1, renderEvent.Get(), render)) ||
      FAILED(capture->GetService(__uuidof(IAudioCaptureClient), captureClient.PutVoid())) ||
      FAILED(render->GetService(__uuidof(IAudioRenderClient), renderClient.PutVoid())) ||
      FAILED(render->GetBufferSize(&renderFrames)) || FAILED(capture->Start()) || FAILED(render->Start())) {
    return;
  }
  running = true;
  while (!stop) {
    if (::WaitForSingleObject(thread.Event(), 200) != WAIT_OBJECT_0) continue;
    UINT32 packet = 0;
    while (SUCCEEDED(captureClient->GetNextPacketSize(&packet)) && packet > 0) {
      BYTE* from = nullptr;
      UINT32 frames = 0;
      DWORD flags = 0;
      if (FAILED(captureClient->GetBuffer(&from, &frames, &flags, nullptr, nullptr))) break;
      UINT32 padding = 0;
      BYTE* to = nullptr;
      if (SUCCEEDED(render->GetCurrentPadding(&padding)) && padding + frames <= renderFrames &&
          SUCCEEDED(renderClient->GetBuffer(frames, &to))) {
        std::memcpy(to, from, static_cast<size_t>(frames) * kEngineChannels * sizeof(float));
        renderClient->ReleaseBuffer(frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) ? AUDCLNT_BUFFERFLAGS_SILENT : 0);
      }
      captureClient->ReleaseBuffer(frames);
    }
  }
  capture->Stop();
  render->Stop();
}

// Bursts into the microphone, recorded at the source and at sink A in one run: each burst's
// delay from the one to the other, in ms. `poll` runs every few ms meanwhile.
std::vector<double> BurstDelaysMs(const std::function<void()>& poll, size_t* sentCount = nullptr) {
  const SinkRecording source("velmora_mic"), out("velmora_a");
  FileClock clock({&source, &out});
  velmora::test::PlayIntoSink("velmora_mic", BurstsWav());
  const double end = clock.NowMs() + (kBursts * kBurstSpacing + 1.5) * 1000;
  while (clock.NowMs() < end) {
    ::Sleep(7);
    poll();
  }
  const std::vector<float> at = source.Left(), heard = out.Left();
  const std::vector<long long> sent = Onsets(at, 0.1), got = Onsets(heard, 0.05);
  std::vector<double> delays;
  const double around = clock.NowMs() - (kBursts * kBurstSpacing) * 500;
  for (long long s : sent) {
    const double sentMs = clock.FrameTimeMs(0, source.StartFrame() + s, around);
    for (long long g : got) {
      const double gotMs = clock.FrameTimeMs(1, out.StartFrame() + g, around);
      if (gotMs >= sentMs - 5 && gotMs < sentMs + 200) {
        delays.push_back(gotMs - sentMs);
        break;
      }
    }
  }
  if (sentCount) *sentCount = sent.size();
  return delays;
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
  for (const auto& [name, percent] : CpuPercentByThreadOver(10000))
    std::printf("mic.cpu_percent.%ls: %.3f %%\n", name.c_str(), percent);
  std::printf("mic.cpu_percent_off: %.3f %%\n", idleOff);

  // Bursts through the program's pass-through.
  std::vector<double> engineMs;
  {
    size_t sent = 0;
    const std::vector<double> sinkMs = BurstDelaysMs([&] {
      const auto stats = player.Engine().Input()->Stats(0);
      engineMs.push_back(stats.latencyMs);
      if (std::getenv("VELMORA_MIC_TRACE"))
        std::printf("fill %.2f ms ratio %.5f under %llu skips %llu latency %.2f\n", stats.fillFrames / 44.1, stats.ratio,
                    static_cast<unsigned long long>(stats.underruns), static_cast<unsigned long long>(stats.skips),
                    stats.latencyMs);
    }, &sent);
    std::printf("mic.latency_p50_ms: %.2f ms\n", Percentile(sinkMs, 0.5));
    std::printf("mic.latency_p99_ms: %.2f ms\n", Percentile(sinkMs, 0.99));
    std::printf("mic.bursts_heard: %zu of %zu\n", sinkMs.size(), sent);
  }
  // A longer run (VELMORA_MIC_MINUTES, 5 unless set): underruns over all of it, and whether the
  // voice is later at the end than at the start (a margin that only ever grows would show here).
  const char* minutesText = std::getenv("VELMORA_MIC_MINUTES");
  const double minutes = minutesText ? std::atof(minutesText) : 5.0;
  if (minutes > 0) {
    const uint64_t underrunsBefore = player.Engine().Input()->Stats(0).underruns;
    const double roundSeconds = kBursts * kBurstSpacing + 1.5;
    const int rounds = static_cast<int>(std::ceil(minutes * 60 / roundSeconds));
    const int perMinute = static_cast<int>(std::ceil(60 / roundSeconds));
    std::vector<double> all, first, last;
    for (int round = 0; round < rounds; ++round) {
      const std::vector<double> delays = BurstDelaysMs([] {});
      all.insert(all.end(), delays.begin(), delays.end());
      if (round < perMinute) first.insert(first.end(), delays.begin(), delays.end());
      if (round >= rounds - perMinute) last.insert(last.end(), delays.begin(), delays.end());
    }
    std::printf("mic.latency_p50_%gmin_ms: %.2f ms\n", minutes, Percentile(all, 0.5));
    std::printf("mic.latency_p99_%gmin_ms: %.2f ms\n", minutes, Percentile(all, 0.99));
    std::printf("mic.underruns_%gmin: %llu\n", minutes,
                static_cast<unsigned long long>(player.Engine().Input()->Stats(0).underruns - underrunsBefore));
    std::printf("mic.latency_p50_first_min_ms: %.2f ms\n", Percentile(first, 0.5));
    std::printf("mic.latency_p50_last_min_ms: %.2f ms\n", Percentile(last, 0.5));
  }
  std::printf("mic.engine_latency_p50_ms: %.2f ms\n", Percentile(engineMs, 0.5));
  std::printf("mic.engine_latency_p99_ms: %.2f ms\n", Percentile(engineMs, 0.99));
  const auto live = player.Engine().Input()->Stats(0);
  std::printf("mic.live_underruns: %llu\n", static_cast<unsigned long long>(live.underruns));
  std::printf("mic.live_skips: %llu\n", static_cast<unsigned long long>(live.skips));

  // The floor, in the same run: the program's pass-through off, the bare one on.
  player.StopMic();
  {
    std::atomic<bool> stop{false}, running{false};
    const std::wstring captureId = velmora::audio::DeviceSnapshot::Take(velmora::audio::Flow::Capture).EndpointId(mic);
    const std::wstring renderId = velmora::audio::EndpointIdForDevice(a);
    std::thread bare(BaselinePassThrough, captureId, renderId, std::ref(stop), std::ref(running));
    for (int i = 0; i < 200 && !running; ++i) ::Sleep(10);
    size_t sent = 0;
    const std::vector<double> baseMs = running ? BurstDelaysMs([] {}, &sent) : std::vector<double>{};
    stop = true;
    bare.join();
    std::printf("mic.baseline_p50_ms: %.2f ms\n", Percentile(baseMs, 0.5));
    std::printf("mic.baseline_p99_ms: %.2f ms\n", Percentile(baseMs, 0.99));
    std::printf("mic.baseline_bursts_heard: %zu of %zu\n", baseMs.size(), sent);
  }

  // Ten minutes of two clocks 0.1 % apart, simulated.
  const velmora::test::DriftResult drift = velmora::test::SimulateDrift(0.001, 600);
  std::printf("mic.fill_error_ms_10min: %.2f ms\n", drift.maxFillErrorMs);
  std::printf("mic.drift_underruns_10min: %llu\n", static_cast<unsigned long long>(drift.underruns));
  player.ReleaseLibrary();
  return 0;
}
