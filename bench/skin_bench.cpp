// The skin engine's resource discipline: GDI and USER object counts over 1,000 openings and
// closings of the skinned effect editor, 1,000 caption-button hover animations, and 1,000
// state changes of every kind of skinned control; with the time each takes.
#include "app/EditorSkin.h"
#include "config/ConfigStore.h"
#include "hotkeys/Assignment.h"
#include "skin/SkinEngine.h"
#include "tests/support/Editors.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/WindowCapture.h"
#include "ui/EditorWindow.h"

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <vector>

using velmora::skin::SkinEngine;
using velmora::test::GdiObjectCount;
using velmora::test::PumpMessages;
using velmora::test::UserObjectCount;
using velmora::ui::EditorWindow;

namespace {

class NoConflicts : public velmora::hotkeys::ConflictReporter {
 public:
  void HotkeyTaken(const std::wstring&) override {}
};

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Every queued message handled, without waiting.
void Drain() { PumpMessages(); }

void Send(HWND hwnd, UINT message, int x, int y) { ::SendMessageW(hwnd, message, 0, MAKELPARAM(x, y)); }

// One hover animation of a caption button: in, eight fade-in ticks, out, eight fade-out ticks.
void HoverAnimation(HWND editor, int x) {
  const WPARAM timer = reinterpret_cast<WPARAM>(editor);
  ::SendMessageW(editor, WM_MOUSEHOVER, 0, 0);
  Send(editor, WM_MOUSEMOVE, x, 10);
  for (int i = 0; i < 8; ++i) ::SendMessageW(editor, WM_TIMER, timer, 0);
  Send(editor, WM_MOUSEMOVE, 200, 120);
  for (int i = 0; i < 9; ++i) ::SendMessageW(editor, WM_TIMER, timer, 0);
}

// One state change of a control: hot on and off, focus on and off, and its own value.
void ControlStates(HWND control, int round) {
  ::SendMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  ::SendMessageW(control, WM_MOUSELEAVE, 0, 0);
  ::SendMessageW(control, WM_SETFOCUS, 0, 0);
  ::SendMessageW(control, WM_KILLFOCUS, 0, 0);
  wchar_t cls[32] = L"";
  ::GetClassNameW(control, cls, 32);
  const std::wstring name = cls;
  if (_wcsicmp(cls, L"Button") == 0) ::SendMessageW(control, BM_SETCHECK, round % 2, 0);
  if (name == TRACKBAR_CLASSW) ::SendMessageW(control, TBM_SETPOS, TRUE, round % 100);
  if (name == PROGRESS_CLASSW) ::SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(round % 100), 0);
  if (name == UPDOWN_CLASSW) {
    ::SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  }
  ::UpdateWindow(control);
}

LRESULT CALLBACK PlainProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// A window holding one control of every kind the engine paints.
HWND ControlsWindow(std::vector<HWND>& controls) {
  WNDCLASSW cls{};
  cls.lpfnWndProc = PlainProcedure;
  cls.lpszClassName = L"VelmoraSkinBench";
  ::RegisterClassW(&cls);
  HWND window = ::CreateWindowExW(0, L"VelmoraSkinBench", L"controls", WS_POPUP | WS_CLIPCHILDREN, 100, 100, 520, 360,
                                  nullptr, nullptr, nullptr, nullptr);
  struct Child {
    const wchar_t* cls;
    DWORD style;
    RECT r;
  };
  const Child children[] = {
      {L"BUTTON", BS_PUSHBUTTON, {20, 40, 100, 28}},
      {L"BUTTON", BS_AUTOCHECKBOX, {20, 80, 100, 20}},
      {L"BUTTON", BS_AUTORADIOBUTTON, {20, 110, 100, 20}},
      {L"EDIT", WS_BORDER, {140, 40, 150, 24}},
      {L"COMBOBOX", CBS_DROPDOWN, {140, 80, 150, 200}},
      {L"LISTBOX", WS_BORDER | WS_VSCROLL, {140, 120, 150, 80}},
      {TRACKBAR_CLASSW, 0, {310, 40, 180, 30}},
      {PROGRESS_CLASSW, 0, {310, 80, 180, 20}},
      {UPDOWN_CLASSW, 0, {310, 110, 20, 40}},
      {WC_HEADERW, 0, {310, 160, 180, 24}},
  };
  for (const Child& c : children) {
    controls.push_back(::CreateWindowExW(0, c.cls, L"状态", WS_CHILD | WS_VISIBLE | c.style, c.r.left, c.r.top,
                                         c.r.right, c.r.bottom, window, nullptr, nullptr, nullptr));
  }
  for (int i = 0; i < 30; ++i) ::SendMessageW(controls[5], LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"项目"));
  HDITEMW item{};
  item.mask = HDI_TEXT | HDI_WIDTH;
  item.cxy = 60;
  item.pszText = const_cast<wchar_t*>(L"列");
  for (int i = 0; i < 3; ++i)
    ::SendMessageW(controls[9], HDM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  SkinEngine::Instance()->SkinWindow(window);
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  velmora::test::PumpFor(200);
  return window;
}

// One opening of the editor, painted, and its closing.
bool OpenPaintClose(const velmora::config::ConfigStore& store, HWND owner, NoConflicts& conflicts, int i) {
  EditorWindow* editor = velmora::test::Editors().Open({1 + i % 4, 1 + i % 20}, store, owner, conflicts, [] {});
  if (!editor) return false;
  ::UpdateWindow(editor->Hwnd());
  Drain();
  ::DestroyWindow(editor->Hwnd());
  Drain();
  return true;
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX common{sizeof(common), ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&common);
  if (!SkinEngine::Start()) {
    std::printf("skin engine did not start\n");
    return 1;
  }
  velmora::test::Editors().SetSkinHook(velmora::app::SkinEditor);
  velmora::test::TempProgramDir dir(L"皮肤测");
  velmora::config::ConfigStore store(dir.Path());
  NoConflicts conflicts;
  HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);

  // A first opening outside the count: fonts, pictures and caches the process keeps anyway.
  if (!OpenPaintClose(store, owner, conflicts, 0)) return 1;

  constexpr int kRounds = 1000;
  int gdi = GdiObjectCount(), user = UserObjectCount();
  double start = NowMs();
  for (int i = 0; i < kRounds; ++i) {
    if (!OpenPaintClose(store, owner, conflicts, i)) return 1;
  }
  const double openClose = (NowMs() - start) / kRounds;
  std::printf("skin.editor_open_close_ms: %.2f ms\n", openClose);
  const int openGdi = GdiObjectCount() - gdi, openUser = UserObjectCount() - user;

  EditorWindow* editor = velmora::test::Editors().Open({1, 1}, store, owner, conflicts, [] {});
  velmora::test::PumpFor(100);
  HoverAnimation(editor->Hwnd(), 320);
  gdi = GdiObjectCount();
  user = UserObjectCount();
  start = NowMs();
  for (int i = 0; i < kRounds; ++i) HoverAnimation(editor->Hwnd(), i % 3 == 0 ? 320 : i % 3 == 1 ? 347 : 380);
  std::printf("skin.hover_animation_ms: %.3f ms\n", (NowMs() - start) / kRounds);
  const int hoverGdi = GdiObjectCount() - gdi, hoverUser = UserObjectCount() - user;
  const bool countsGdi = gdi >= 0;
  if (countsGdi) {
    std::printf("skin.gdi_growth: %d objects\n", openGdi + hoverGdi);
    std::printf("skin.gdi_growth_open_close: %d objects\n", openGdi);
    std::printf("skin.gdi_growth_hover: %d objects\n", hoverGdi);
  } else {
    std::printf("# skin.gdi_*: GDI objects cannot be counted in this process\n");
  }
  std::printf("skin.user_growth: %d objects\n", openUser + hoverUser);
  // The working set before and after the trim the skinned window starts when the program is
  // deactivated.
  PROCESS_MEMORY_COUNTERS memory{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  const SIZE_T before = memory.WorkingSetSize;
  ::SendMessageW(editor->Hwnd(), WM_ACTIVATEAPP, FALSE, 0);
  ::Sleep(500);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("trim.working_set_before_kb: %llu kB\n", static_cast<unsigned long long>(before / 1024));
  std::printf("trim.working_set_after_kb: %llu kB\n", static_cast<unsigned long long>(memory.WorkingSetSize / 1024));
  ::DestroyWindow(editor->Hwnd());
  Drain();

  std::vector<HWND> controls;
  HWND window = ControlsWindow(controls);
  for (HWND control : controls) ControlStates(control, 0);
  Drain();
  gdi = GdiObjectCount();
  user = UserObjectCount();
  start = NowMs();
  for (int i = 0; i < kRounds; ++i) {
    for (HWND control : controls) ControlStates(control, i);
    Drain();
  }
  std::printf("skin.controls_state_change_us: %.1f us\n",
              (NowMs() - start) * 1000.0 / (kRounds * static_cast<double>(controls.size())));
  if (countsGdi) std::printf("skin.controls_gdi_growth: %d objects\n", GdiObjectCount() - gdi);
  std::printf("skin.controls_user_growth: %d objects\n", UserObjectCount() - user);
  ::DestroyWindow(window);
  ::DestroyWindow(owner);
  std::fflush(stdout);
  ::TerminateProcess(::GetCurrentProcess(), 0);
  return 0;
}
