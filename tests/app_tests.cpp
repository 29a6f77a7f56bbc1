// The built program's resources: icon and the manifest that brings Common Controls v6.
#include "assets/resource.h"
#include "tests/support/Registry.h"
#include "tests/support/ProgramCopy.h"
#include "tests/support/Waiting.h"
#include "tests/support/WindowCapture.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using velmora::test::BuiltProgramPath;

TEST(Resources, IconAndCommonControlsManifest) {
  const std::wstring exe = BuiltProgramPath();
  HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << "cannot open the built program";
  EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), RT_GROUP_ICON), nullptr);
  HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(manifest, nullptr);
  const char* text = static_cast<const char*>(::LockResource(::LoadResource(module, manifest)));
  const std::string xml(text, ::SizeofResource(module, manifest));
  EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  ::FreeLibrary(module);

  // The manifest resolves: with its activation context active, comctl32 is redirected to the
  // side-by-side version 6 assembly.
  ACTCTXW context{};
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = exe.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE actctx = ::CreateActCtxW(&context);
  ASSERT_NE(actctx, INVALID_HANDLE_VALUE) << ::GetLastError();
  ULONG_PTR cookie = 0;
  ASSERT_TRUE(::ActivateActCtx(actctx, &cookie));
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof(data);
  EXPECT_TRUE(::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll",
                                         &data));
  ::DeactivateActCtx(0, cookie);

  // The DPI awareness, read from the manifest the way the loader reads it (Wine reports
  // per-monitor awareness whatever the manifest says, so this is what can be checked here).
  const auto setting = [actctx](const wchar_t* ns, const wchar_t* name) {
    wchar_t value[64] = L"";
    SIZE_T written = 0;
    return ::QueryActCtxSettingsW(0, actctx, ns, name, value, std::size(value), &written) ? std::wstring(value)
                                                                                          : std::wstring(L"(none)");
  };
  EXPECT_EQ(setting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
            L"PerMonitorV2, PerMonitor");
  EXPECT_EQ(setting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"), L"true/pm");
  ::ReleaseActCtx(actctx);
}

namespace {

// Rows of the rectangle that hold white (text) pixels: first to last.
int TextHeight(const velmora::test::Capture& shot, const RECT& r) {
  int first = -1, last = -1;
  for (int y = r.top; y < r.bottom; ++y) {
    if (shot.Count(RECT{r.left, y, r.right, y + 1}, RGB(255, 255, 255)) > 0) {
      if (first < 0) first = y;
      last = y;
    }
  }
  return first < 0 ? 0 : last - first + 1;
}

void SetSystemDpi(DWORD dpi) {
  HKEY key = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  ::RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
  ::RegCloseKey(key);
}

}  // namespace

// The real program at 100 % and 150 % system scaling: the board is laid out at the scaled
// design size, its text grows in step (not twice), and no bitmap is stretched.
TEST(Board, ScalesWithTheSystemDpi) {
  // Recorded as the place it last ran, so the start shows the board instead of rebuilding.
  velmora::test::SavedUserRegistryValue stamp(L"Software\\tamble");
  int textAt96 = 0;
  for (DWORD dpi : {96u, 144u}) {
    SetSystemDpi(dpi);
    velmora::test::ProgramCopy copy(L"缩放");
    stamp.Set(REG_SZ, copy.Exe() + L" %-1");
    ASSERT_TRUE(copy.Start());
    ASSERT_TRUE(copy.WaitSettled()) << "the board did not start";
    const HWND board = copy.Board();
    ASSERT_TRUE(board && ::IsWindowVisible(board));
    RECT client;
    ::GetClientRect(board, &client);
    EXPECT_EQ(client.right, ::MulDiv(724, static_cast<int>(dpi), 96));
    EXPECT_EQ(client.bottom, ::MulDiv(478, static_cast<int>(dpi), 96));
    auto scaled = [dpi](int v) { return ::MulDiv(v, static_cast<int>(dpi), 96); };
    // Read once the screen shows its first paint (the stop button's colour).
    velmora::test::Capture shot = velmora::test::Capture::OfScreen(board);
    velmora::test::WaitFor([&] {
      shot = velmora::test::Capture::OfScreen(board);
      return shot.At(scaled(578), scaled(282)) == RGB(255, 128, 0);
    });
    // The stop button: its colour edge to edge at the scaled rectangle, its caption's height.
    EXPECT_EQ(shot.At(scaled(578), scaled(282)), RGB(255, 128, 0));
    EXPECT_EQ(shot.At(scaled(578) - 1, scaled(282)), RGB(21, 1, 83));
    const int text = TextHeight(shot, RECT{scaled(578), scaled(282), scaled(708), scaled(342)});
    if (dpi == 96) {
      textAt96 = text;
      EXPECT_GT(text, 6);
    } else {
      // Within three pixels, and one more for the font taken a pixel larger at 96 DPI where it
      // would draw no "-" (Wine's stand-in for the default GUI font).
      EXPECT_NEAR(text, textAt96 * 1.5, 4.5);
    }
    ::PostMessageW(board, WM_CLOSE, 0, 0);
    DWORD code = 1;
    EXPECT_TRUE(copy.WaitExit(10000, &code));
  }
  SetSystemDpi(96);
}
