// The effect board: start-up time of the real program, its CPU while idle with the marquee
// running, and GDI/USER objects over 1,000 page switches and caption reloads.
#include "config/Captions.h"
#include "config/ConfigStore.h"
#include "tests/support/Files.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/Registry.h"
#include "tests/support/TempProgramDir.h"
#include "ui/MainWindow.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace velmora;

double NowMs() {
  LARGE_INTEGER f, t;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

class NoActions final : public ui::BoardActions {
 public:
  void PlayEffect(config::EffectSlot) override {}
  void EditEffect(config::EffectSlot) override {}
  void DropFiles(config::EffectSlot, std::vector<std::wstring>) override {}
  void StopPlayback() override {}
  void StepVolume(int) override {}
  void OpenOutputSettings() override {}
  void OpenLink(const wchar_t*) override {}
};

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// Runs the message loop, the board's timers included, for `ms` milliseconds.
void RunFor(DWORD ms) {
  const double end = NowMs() + ms;
  while (NowMs() < end) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    Pump();
  }
}

double CpuMs(HANDLE process) {
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(process, &created, &exited, &kernel, &user);
  auto ticks = [](FILETIME t) { return (static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

HWND VisibleBoard() {
  HWND board = ::FindWindowW(L"VelmoraBoard", nullptr);
  return board && ::IsWindowVisible(board) ? board : nullptr;
}

}  // namespace

int main() {
  // The real program, started from a folder of its own, until its board is on the screen.
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring exe(self);
  exe.resize(exe.rfind(L'\\'));
  exe.resize(exe.rfind(L'\\'));
  exe += L"\\app\\velmora.exe";
  test::TempProgramDir folder(L"启动");
  const std::wstring copy = folder / L"velmora.exe";
  // Recorded as the place it last ran, so each start shows the board instead of rebuilding.
  test::SavedUserRegistryValue stamp(L"Software\\tamble");
  stamp.Set(REG_SZ, copy + L" %-1");
  if (!::CopyFileW(exe.c_str(), copy.c_str(), FALSE)) {
    std::printf("error: cannot copy %ls\n", exe.c_str());
    return 1;
  }
  std::vector<double> starts;
  for (int run = 0; run < 5; ++run) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + copy + L"\"";
    const double start = NowMs();
    if (!::CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.Path().c_str(),
                          &startup, &process))
      return 1;
    HWND board = nullptr;
    while (!(board = VisibleBoard()) && NowMs() - start < 20000) ::Sleep(1);
    starts.push_back(NowMs() - start);
    if (board) ::PostMessageW(board, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  // The first start is the cold one (the exe just copied, nothing of it cached in the process).
  std::printf("start.cold_to_board_ms: %.0f ms\n", starts.front());
  std::sort(starts.begin(), starts.end());
  std::printf("board.start_to_visible_ms: %.0f ms\n", starts[starts.size() / 2]);

  // Objects: 1,000 page switches and caption reloads on a board in this process.
  test::TempProgramDir dir(L"对象");
  const config::ConfigStore store(dir.Path());
  for (int i = 1; i <= 29; ++i) store.WriteValue(L"常用标题", std::to_wstring(i), L"掌声\\r\\n" + std::to_wstring(i));
  NoActions actions;
  ui::MainWindow board(actions);
  if (!board.Create()) return 1;
  ::ShowWindow(board.Hwnd(), SW_SHOW);
  // The marquee's timers are stopped while objects are counted, so only the switches paint.
  for (UINT_PTR id : {ui::MainWindow::kSlideInTimer, ui::MainWindow::kSlideOutTimer, ui::MainWindow::kRestTimer})
    ::KillTimer(board.Hwnd(), id);
  auto cycle = [&](int i) {
    const ui::DesignRect& title = ui::MainControlDesign(ui::TitleForPage(i % 4)).rect;
    const int x = board.Scale()(title.x + title.w / 2);
    const int y = board.Scale()(title.y + title.h / 2);
    ::SendMessageW(board.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    ::UpdateWindow(board.Hwnd());
    config::LoadCaptions(store, board);
    ::UpdateWindow(board.Hwnd());
    Pump();
  };
  for (int i = 0; i < 20; ++i) cycle(i);  // fonts and caches are made on first use
  const int gdi = test::GdiObjectCount();
  const int user = test::UserObjectCount();
  for (int i = 0; i < 1000; ++i) cycle(i);
  if (gdi >= 0) {
    std::printf("board.gdi_growth: %d objects\n", test::GdiObjectCount() - gdi);
    std::printf("board.gdi_objects: %d objects\n", test::GdiObjectCount());
  } else {
    std::printf("# board.gdi_*: GDI objects cannot be counted in this process\n");
  }
  std::printf("board.user_growth: %d objects\n", test::UserObjectCount() - user);
  ::SetTimer(board.Hwnd(), ui::MainWindow::kSlideInTimer, 1, nullptr);

  // Idle, with the marquee running on its timers: this process's CPU over 10 s.
  RunFor(1000);
  const double cpu0 = CpuMs(::GetCurrentProcess());
  const double t0 = NowMs();
  RunFor(10000);
  std::printf("board.idle_cpu_percent: %.2f %%\n", 100.0 * (CpuMs(::GetCurrentProcess()) - cpu0) / (NowMs() - t0));
  return 0;
}
