// The running program over a long stretch, as a host on air uses it with strangers about: the
// monitor and the microphone on, clicks and hotkeys, the host's requests, malformed and
// stranger requests and WebSocket clients coming and going (tests/support/remote_client.py
// soak), and the output device pulled out and put back every minute. VELMORA_SOAK_MINUTES sets
// the length (10 unless told).
//   soak.requests_unanswered  the host's requests not answered within 2 s, or answered 5xx
//   soak.crashes              the program ended on its own
//   soak.memory_growth_kb     private bytes at the end less after the first minute
//   soak.handle_growth        handles, the same
//   soak.thread_growth        threads, the same
#include "config/ConfigStore.h"
#include "tests/support/Files.h"
#include "tests/support/ProgramCopy.h"
#include "tests/support/Registry.h"
#include "tests/support/SinkRecording.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace velmora;

namespace {

constexpr int kPort = 29440;
constexpr char kCode[] = "0123456789abcdef0123456789abcdef";

struct Usage {
  double privateKb = 0;
  long handles = 0;
  int threads = 0;
};

// Read on the Linux side, since Wine answers neither GetProcessMemoryInfo nor
// GetProcessHandleCount for another process: the program's anonymous (private) memory and its
// threads from /proc, and its open file descriptors, which is where Wine's handles to files,
// sockets and events reach the kernel.
Usage Measure(const std::string& scratch) {
  const std::string file = scratch + "/usage";
  test::RunHostCommand("pid=$(pgrep -f 'velmora[.]exe' | head -n 1); { grep -E '^(RssAnon|Threads):' /proc/$pid/status; "
                       "echo Fds: $(ls /proc/$pid/fd | wc -l); } > " + file);
  const std::string text = test::ReadBytes(test::FromUnixPath(file.c_str()));
  const auto field = [&text](const char* name) {
    const size_t at = text.find(name);
    return at == std::string::npos ? -1L : std::atol(text.c_str() + at + std::strlen(name));
  };
  Usage usage;
  usage.privateKb = static_cast<double>(field("RssAnon:"));
  usage.threads = static_cast<int>(field("Threads:"));
  usage.handles = field("Fds:");
  return usage;
}

// A click on the board's effect button of page 1, slot `index` (1..3).
void Click(HWND board, int index) {
  static constexpr int kCentreX[] = {80, 220, 328};
  const LPARAM at = MAKELPARAM(kCentreX[index - 1], 100);
  ::PostMessageW(board, WM_MOUSEMOVE, 0, at);
  ::PostMessageW(board, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageW(board, WM_LBUTTONUP, 0, at);
}

long long JsonNumber(const std::string& json, const char* name) {
  const size_t at = json.find(std::string("\"") + name + "\": ");
  return at == std::string::npos ? -1 : std::atoll(json.c_str() + at + std::strlen(name) + 4);
}

}  // namespace

int main() {
  const char* minutesText = std::getenv("VELMORA_SOAK_MINUTES");
  const int minutes = minutesText && std::atoi(minutesText) > 0 ? std::atoi(minutesText) : 10;
  const int sinkA = test::TestSinkDevice(L"VelmoraSinkA");
  const int sinkB = test::TestSinkDevice(L"VelmoraSinkB");
  const int mic = test::TestSinkCaptureDevice(L"VelmoraMic");
  if (sinkA < 2 || sinkB < 2) {
    std::printf("error: no test sinks (run through scripts/bench.sh)\n");
    return 1;
  }

  test::ProgramCopy copy(L"长跑");
  {
    const config::ConfigStore store(copy.Folder());
    for (int i = 1; i <= 3; ++i) {
      const std::wstring path = copy / (L"效" + std::to_wstring(i) + L".wav");
      test::WriteBytes(path, test::ToneWav(400.0 + 300.0 * i, 0.4, 0.3));
      store.WriteValue(L"常用路径", std::to_wstring(i), path);
    }
    store.WriteValue(L"快捷键", L"F9", copy / L"效1.wav");
    store.WriteValue(L"rj", L"热键开关", L"真");
    store.WriteValue(L"id", L"id", std::to_wstring(sinkA));
    store.WriteValue(L"监听", L"开关", L"真");
    store.WriteValue(L"监听", L"id", std::to_wstring(sinkB));
    if (mic >= 2) {
      store.WriteValue(L"麦克风", L"开关", L"真");
      store.WriteValue(L"麦克风", L"id", std::to_wstring(mic));
    }
    store.WriteValue(L"遥控", L"开关", L"真");
    store.WriteValue(L"遥控", L"端口", std::to_wstring(kPort));
    store.WriteValue(L"遥控", L"令牌", std::wstring(kCode, kCode + 32));
  }
  // Recorded as the place it last ran: the start rebuilds nothing.
  test::SavedUserRegistryValue stamp(L"Software\\tamble");
  stamp.Set(REG_SZ, copy.Exe() + L" %-1");
  if (!copy.Start() || !copy.WaitSettled()) {
    std::printf("error: the program did not start\n");
    return 1;
  }
  const HWND board = copy.Board();
  // Wine reuses process ids from one run to the next: an earlier run's counts go first.
  const std::string out = std::string(VELMORA_BENCH_SCRATCH_UNIX) + "/soak-" + std::to_string(::GetCurrentProcessId());
  test::RemoveTree(test::FromUnixPath(out.c_str()));
  test::MakeFolders(test::FromUnixPath(out.c_str()));
  test::RunHostCommand("(/usr/bin/python3 " + std::string(VELMORA_SOURCE_DIR_UNIX) +
                       "/bench/remote_load.py soak " + std::to_string(kPort) + " " + kCode + " " + out + " " +
                       std::to_string(minutes * 60) + " > " + out + ".log 2>&1 </dev/null &)");

  Usage first{};
  const ULONGLONG start = ::GetTickCount64();
  int step = 0;
  while (::GetTickCount64() - start < static_cast<ULONGLONG>(minutes) * 60000 && copy.Running()) {
    ::Sleep(250);
    ++step;
    Click(board, step % 3 + 1);
    if (step % 8 == 0) {  // a hotkey, pressed on the X server with the board focused
      test::RunHostCommand("xdotool search --onlyvisible --name Velmora windowfocus key F9");
    }
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    if (elapsed >= 60000 && first.threads == 0) first = Measure(out);
    if (step % 240 == 120) {  // every minute, half-way through it: the device pulled out and back
      test::ChangeSoundServer("unplug", "velmora_a");
      ::Sleep(1000);
      test::ChangeSoundServer("plug", "velmora_a");
    }
  }
  const bool crashed = !copy.Running();
  const Usage last = crashed ? first : Measure(out);
  // The driver writes its counts when its time is up.
  std::string soak;
  for (int i = 0; i < 200 && soak.empty(); ++i) {
    soak = test::ReadBytes(test::FromUnixPath((out + "/soak.json").c_str()));
    if (soak.empty()) ::Sleep(100);
  }
  std::printf("soak.minutes: %d min\n", minutes);
  std::printf("soak.requests: %lld requests\n", JsonNumber(soak, "requests"));
  std::printf("soak.requests_unanswered: %lld requests\n", JsonNumber(soak, "unanswered"));
  std::printf("soak.malformed_sent: %lld requests\n", JsonNumber(soak, "malformed"));
  std::printf("soak.websocket_clients: %lld clients\n", JsonNumber(soak, "websockets"));
  std::printf("soak.crashes: %d crashes\n", crashed ? 1 : 0);
  std::printf("soak.memory_growth_kb: %.0f kB\n", last.privateKb - first.privateKb);
  std::printf("soak.handle_growth: %ld handles\n", last.handles - first.handles);
  std::printf("soak.thread_growth: %d threads\n", last.threads - first.threads);
  // What the growths are taken from, after the first minute and at the end.
  std::printf("soak.private_kb_after_first_minute: %.0f kB\n", first.privateKb);
  std::printf("soak.private_kb_at_end: %.0f kB\n", last.privateKb);
  std::printf("soak.handles_at_end: %ld handles\n", last.handles);
  std::printf("soak.threads_at_end: %d threads\n", last.threads);
  return 0;
}
