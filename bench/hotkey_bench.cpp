// Hotkey press to sound: from the moment the X server delivers the key (the message's time) to
// the first samples written into the device buffer, over 100 presses.
#include "bench/BenchFigures.h"
#include "config/ConfigStore.h"
#include "hotkeys/HotkeyHost.h"
#include "playback/AudioPlayer.h"
#include "playback/Playback.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace velmora::bench;

namespace {

using namespace velmora;

class Actions final : public hotkeys::HotkeyActions {
 public:
  explicit Actions(playback::Playback& playback) : playback_(playback) {}
  void PlayFile(const std::wstring& path, int slotLevel) override {
    pressedAt = ::GetMessageTime();  // the key event's time, in tick-count milliseconds
    playback_.PlayHotkeyFile(path, slotLevel);
    ++presses;
  }
  void StopPlayback() override { playback_.StopPlayback(); }
  LONG pressedAt = 0;
  int presses = 0;

 private:
  playback::Playback& playback_;
};

class Silent final : public playback::FailureReporter {
 public:
  void OpenFailed() override {}
};

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace

int main() {
  test::TempProgramDir dir(L"热键基准");
  const config::ConfigStore store(dir.Path());
  const std::wstring tone = dir / L"键.wav";
  test::WriteBytes(tone, test::ToneWav(1000, 0.5, 0.5));
  store.WriteValue(L"快捷键", L"F5", tone);

  playback::AudioPlayer player;
  int sink = 1;
  for (int n = 2; n < 64; ++n) {
    if (player.DeviceName(n).find(L"VelmoraSinkA") != std::wstring::npos) sink = n;
  }
  if (playback::StartAudio(player, sink) != 1) return 1;
  Silent silent;
  playback::Playback playback(player, store, silent);
  Actions actions(playback);
  hotkeys::HotkeySwitch hotkeySwitch(store, actions);
  if (!hotkeySwitch.Load(nullptr)) return 1;

  // Wine hands hotkeys over only while one of its windows has the X focus.
  HWND focus = ::CreateWindowExW(0, L"STATIC", L"velmora-hotkey-bench", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, nullptr, nullptr);
  ::SetCursorPos(25, 25);
  test::RunHostCommand("xdotool search --name velmora-hotkey-bench windowfocus");
  Pump();

  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  std::vector<double> latencies;
  for (int i = 0; i < 100; ++i) {
    const int before = actions.presses;
    test::RunHostCommand("xdotool key F5");
    for (int wait = 0; wait < 400 && (actions.presses == before || player.Engine().LastPlayTiming().firstWrite == 0);
         ++wait) {
      Pump();
      ::Sleep(1);
    }
    const auto timing = player.Engine().LastPlayTiming();
    if (actions.presses == before || timing.firstWrite == 0) continue;
    // The first write on the tick-count clock of the message time.
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    const DWORD tickNow = ::GetTickCount();
    const double sinceWrite =
        static_cast<double>(now.QuadPart - timing.firstWrite) * 1000.0 / static_cast<double>(frequency.QuadPart);
    const double writeTick = static_cast<double>(tickNow) - sinceWrite;
    latencies.push_back(writeTick - static_cast<double>(actions.pressedAt));
    ::Sleep(30 + (i * 13) % 50);
  }
  std::printf("hotkey.presses_measured: %zu presses\n", latencies.size());
  std::printf("hotkey.p50_ms: %.1f ms\n", Percentile(latencies, 0.5));
  std::printf("hotkey.p99_ms: %.1f ms\n", Percentile(latencies, 0.99));
  // Out before the teardown: a 32-bit process under Wine can die in Media Foundation's back end
  // on the way out, taking the unwritten figures with it.
  std::fflush(stdout);
  hotkeySwitch.Unload();
  ::DestroyWindow(focus);
  player.ReleaseLibrary();
  ::TerminateProcess(::GetCurrentProcess(), 0);
  return 0;
}
