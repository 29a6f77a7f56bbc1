// The secondary windows on a monitor of another DPI (as WM_DPICHANGED tells them), and the
// settings window's white check-box and radio captions with a visual style active.
#include "config/ConfigStore.h"
#include "hotkeys/Assignment.h"
#include "tests/support/Editors.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/WindowCapture.h"
#include "ui/EditorWindow.h"
#include "ui/SettingsWindow.h"
#include "ui/SmallWindows.h"

#include <gtest/gtest.h>
#include <uxtheme.h>
#include <windows.h>

#include <string>

using velmora::test::PumpMessages;
using velmora::test::ChildRect;

namespace {

constexpr UINT kDpiChanged = 0x02E0;

class NoSettingsActions : public velmora::ui::SettingsActions {
 public:
  void RefreshDevices() override {}
  std::wstring DeviceName(int) override { return L"!!!!!!"; }
  void RefreshCaptureDevices() override {}
  std::wstring CaptureDeviceName(int) override { return L"!!!!!!"; }
  bool PickDevice(velmora::config::DeviceSection, int) override { return false; }
  void SetRouteLevel(velmora::config::DeviceSection, int) override {}
  void SetMicToMonitor(bool) override {}
  void SetMicDucking(int) override {}
  void SetHotkeys(bool) override {}
  void SetPressAgain(bool) override {}
  void SetDigitKeys(velmora::config::DigitKeys) override {}
  void SetAutoRebuild(bool) override {}
  void SetLeveling(bool) override {}
  std::vector<std::wstring> RefusedHotkeys() override { return {}; }
  bool SetRemoteOn(bool) override { return true; }
  void SetRemoteLan(bool) override {}
  void SetRemotePort(int) override {}
  bool RenewRemoteCode() override { return false; }
  velmora::ui::RemoteView RestartRemote() override { return {}; }
  velmora::ui::RemoteView CurrentRemote() override { return {}; }
  void RebuildNow() override {}
  void OpenInstructions() override {}
};

class NoConflicts : public velmora::hotkeys::ConflictReporter {
 public:
  void HotkeyTaken(const std::wstring&) override {}
};

LONG FontHeight(HWND control) {
  LOGFONTW font{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
  return font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
}

// Tells `window` it is now on a monitor of `dpi`, with the rectangle the system suggests there,
// and checks that the window takes that rectangle and `child` (at `design`, in 96-DPI units)
// moves and gets a font of the new size. Ends back at 96 DPI, where everything is as before.
void CheckFollowsDpi(HWND window, HWND child, RECT design, int designWidth, int designHeight) {
  ASSERT_TRUE(window && child);
  const LONG fontAt96 = FontHeight(child);
  for (const UINT dpi : {144u, 192u, 96u}) {
    RECT suggested;
    ::GetWindowRect(window, &suggested);
    suggested.left += 10;  // somewhere else, as on another monitor
    suggested.right = suggested.left + ::MulDiv(designWidth, static_cast<int>(dpi), 96);
    suggested.bottom = suggested.top + ::MulDiv(designHeight, static_cast<int>(dpi), 96);
    ::SendMessageW(window, kDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    PumpMessages();
    RECT now;
    ::GetWindowRect(window, &now);
    EXPECT_TRUE(::EqualRect(&now, &suggested)) << dpi << " DPI: the suggested rectangle is taken";
    const auto at = [dpi](LONG v) { return ::MulDiv(v, static_cast<int>(dpi), 96); };
    const RECT r = ChildRect(child);
    EXPECT_EQ(r.left, at(design.left)) << dpi;
    EXPECT_EQ(r.top, at(design.top)) << dpi;
    EXPECT_EQ(r.right - r.left, at(design.right) - at(design.left)) << dpi;
    if (dpi == 96u) {
      EXPECT_EQ(FontHeight(child), fontAt96);
    } else {
      // (The font at 96 DPI may be a pixel larger than its design: see FontCache.)
      EXPECT_GE(FontHeight(child), (fontAt96 - 1) * static_cast<LONG>(dpi) / 96) << dpi << " DPI font";
    }
  }
}

}  // namespace

TEST(Dpi, SecondaryWindowsFollowTheirMonitor) {
  velmora::test::TempProgramDir dir(L"缩放");
  velmora::config::ConfigStore store(dir.Path());
  NoSettingsActions actions;
  {
    velmora::ui::SettingsWindow settings(store, actions);
    ASSERT_TRUE(settings.Open(nullptr));
    CheckFollowsDpi(settings.Hwnd(), settings.Control(velmora::ui::SettingsWindow::kDeviceCombo),
                    RECT{71, 69, 71 + 345, 69 + 20}, 484, 538);
    // Its self-drawn buttons follow too.
    const RECT ok = settings.ButtonRect(velmora::ui::SettingsWindow::Button::Ok);
    EXPECT_EQ(ok.left, 373);
  }

  HWND instructions = velmora::ui::InstructionsWindow::Open(false);
  CheckFollowsDpi(instructions, ::GetWindow(instructions, GW_CHILD), RECT{2, 0, 464, 264}, 466, 316);
  ::DestroyWindow(instructions);

  NoConflicts conflicts;
  HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  velmora::ui::EditorWindow* editor = velmora::test::Editors().Open({1, 1}, store, owner, conflicts, nullptr);
  ASSERT_NE(editor, nullptr);
  CheckFollowsDpi(editor->Hwnd(), editor->Control(velmora::ui::EditorWindow::kPathEdit),
                  RECT{106, 121, 106 + 168, 121 + 25}, 399, 214);
  ::DestroyWindow(editor->Hwnd());
  ::DestroyWindow(owner);

  // The notice only pumps messages before its work starts; a change that arrives then is taken.
  bool checked = false;
  velmora::ui::NoticeWindow::Run([&checked] {
    HWND notice = ::FindWindowW(velmora::ui::NoticeWindow::kClassName, nullptr);
    ASSERT_NE(notice, nullptr);
    RECT suggested{100, 100, 100 + 390, 100 + 149};  // 260 × 99 design units at 144 DPI
    ::SendMessageW(notice, kDpiChanged, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT now;
    ::GetWindowRect(notice, &now);
    EXPECT_TRUE(::EqualRect(&now, &suggested));
    checked = true;
  });
  EXPECT_TRUE(checked);
}

// Runs in a process of its own, started by the test below with the visual style switched on.
TEST(Dpi, ThemedChildProcess) {
  if (!::GetEnvironmentVariableW(L"VELMORA_THEMED_CHILD", nullptr, 0)) GTEST_SKIP() << "started by the test below";
  ASSERT_TRUE(::IsThemeActive()) << "the visual style did not load; the check below would prove nothing";
  velmora::test::TempProgramDir dir(L"主题");
  velmora::config::ConfigStore store(dir.Path());
  NoSettingsActions actions;
  velmora::ui::SettingsWindow settings(store, actions);
  ASSERT_TRUE(settings.Open(nullptr));
  // A check box of the same kind that keeps its visual style: the style is really in force.
  HWND themed = ::CreateWindowExW(0, L"BUTTON", L"x", WS_CHILD | BS_CHECKBOX, 0, 0, 10, 10, settings.Hwnd(), nullptr,
                                  nullptr, nullptr);
  HTHEME theme = ::OpenThemeData(themed, L"Button");
  EXPECT_NE(theme, nullptr);
  if (theme) ::CloseThemeData(theme);
  ::SetWindowPos(settings.Hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  using Id = velmora::ui::SettingsWindow::ControlId;
  // Read once the window is on the screen: mostly its blue face.
  velmora::test::Capture shot = velmora::test::Capture::OfScreen(settings.Hwnd());
  velmora::test::PumpUntil([&] {
    shot = velmora::test::Capture::OfScreen(settings.Hwnd());
    return shot.Count(RECT{0, 0, shot.Width(), shot.Height()}, RGB(0, 96, 192)) > shot.Width() * shot.Height() / 2;
  });
  for (const Id id : {Id::kMicToMonitor, Id::kHotkeysOn, Id::kHotkeysOff, Id::kKeypad, Id::kMainKeyboard,
                      Id::kAutoRebuild, Id::kManualRebuild}) {
    HWND box = settings.Control(id);
    HTHEME own = ::OpenThemeData(box, L"Button");
    EXPECT_EQ(own, nullptr) << id << " keeps the classic look";
    if (own) ::CloseThemeData(own);
    // The caption (right of the 13-px box) is white on the blue face, never dark.
    RECT r = ChildRect(box);
    r.left += 16;
    int white = 0, dark = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) {
        const COLORREF c = shot.At(x, y);
        if (GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200) ++white;
        if (GetRValue(c) < 60 && GetGValue(c) < 60 && GetBValue(c) < 100) ++dark;
      }
    EXPECT_GT(white, 15) << id << ": white caption";
    EXPECT_EQ(dark, 0) << id << ": no dark theme-coloured text";
  }
}

TEST(Dpi, SettingsCaptionsStayWhiteUnderAVisualStyle) {
  // Wine draws no visual style unless the theme manager says so; a child process starts with
  // the prefix's light theme switched on, and it is switched off again afterwards.
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager", 0,
                              nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  wchar_t before[16] = L"";
  DWORD bytes = sizeof(before);
  const bool had = ::RegQueryValueExW(key, L"ThemeActive", nullptr, nullptr, reinterpret_cast<BYTE*>(before),
                                      &bytes) == ERROR_SUCCESS;
  ::RegSetValueExW(key, L"ThemeActive", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 2 * sizeof(wchar_t));

  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=Dpi.ThemedChildProcess";
  ::SetEnvironmentVariableW(L"VELMORA_THEMED_CHILD", L"1");
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const BOOL started =
      ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  ::SetEnvironmentVariableW(L"VELMORA_THEMED_CHILD", nullptr);
  DWORD code = 1;
  if (started) {
    ::WaitForSingleObject(process.hProcess, 60000);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  if (had) {
    ::RegSetValueExW(key, L"ThemeActive", 0, REG_SZ, reinterpret_cast<const BYTE*>(before), bytes);
  } else {
    ::RegDeleteValueW(key, L"ThemeActive");
  }
  ::RegCloseKey(key);
  ASSERT_TRUE(started);
  EXPECT_EQ(code, 0u) << "the themed run failed; its output is above";
}
