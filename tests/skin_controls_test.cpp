// The skinned controls: push buttons, check boxes and radio buttons, edit boxes, combo boxes and
// list boxes, on the real effect editor and on a window of our own that holds every kind, read
// back from the screen. The editor must keep working through the skin: typing, picking a hotkey
// from the drop-down list, saving.
#include "app/EditorSkin.h"
#include "config/ConfigStore.h"
#include "hotkeys/Assignment.h"
#include "skin/SkinEngine.h"
#include "tests/support/Editors.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/Dialogs.h"
#include "tests/support/SkinTesting.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/WindowCapture.h"
#include "ui/EditorWindow.h"
#include "ui/SmallWindows.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using velmora::skin::SkinEngine;
using velmora::test::Brightness;
using velmora::test::Distance;
using velmora::test::MouseDown;
using velmora::test::MouseUp;
using velmora::test::MoveMouse;
using velmora::test::PumpMessages;
using velmora::test::PumpUntil;
using velmora::ui::EditorWindow;

namespace {

constexpr COLORREF kTheme = 0xDDCA22;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kSilver = 0xC0C0C0;
constexpr COLORREF kMagenta = 0xFF00FF;

// `top` at `alpha` over an opaque `bottom`.
COLORREF Blend(COLORREF top, COLORREF bottom, int alpha) {
  auto mix = [alpha](int t, int b) { return (t * alpha + b * (255 - alpha) + 127) / 255; };
  return RGB(mix(GetRValue(top), GetRValue(bottom)), mix(GetGValue(top), GetGValue(bottom)),
             mix(GetBValue(top), GetBValue(bottom)));
}

std::string Hex(COLORREF c) {
  char text[16];
  std::snprintf(text, sizeof(text), "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return text;
}

// What the screen shows over a window's whole rectangle, frame and scroll bars included, in
// that window's coordinates.
class WindowPixels : public velmora::test::Capture {
 public:
  explicit WindowPixels(HWND hwnd) : Capture(Capture::OfWindowOnScreen(hwnd)) {}
  // Pixels of the rectangle darker than `brightness`.
  int Dark(const RECT& r, int brightness = 100) const {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) count += Brightness(At(x, y)) < brightness;
    return count;
  }
};

// Paints everything pending, so the screen shows the current state (Wine puts what was painted
// on the screen when the queue runs empty).
void Settle() { PumpMessages(); }

// Moves the pointer onto the desktop, away from every test window, and waits for the hot
// control to hear of it (Wine notices a pointer that left all its windows on a timer).
void PointerAway() {
  MoveMouse(::GetDesktopWindow(), 1270, 790);
  SkinEngine* engine = SkinEngine::Instance();
  PumpUntil(
      [engine] {
        for (int i = 1; engine && i <= engine->WindowCount(); ++i)
          if (engine->WindowAt(i)->hotControl) return false;
        return true;
      },
      2000);
  Settle();
}

void PressKey(HWND focus, WORD key) {
  ::SetFocus(focus);
  velmora::test::TapKey(key);
  Settle();
}

// ---------------------------------------------------------------------------------------------
// The real effect editor, skinned.

class RecordingConflicts : public velmora::hotkeys::ConflictReporter {
 public:
  void HotkeyTaken(const std::wstring& name) override { taken.push_back(name); }
  std::vector<std::wstring> taken;
};

// One editor serves the whole suite (every top-level window costs seconds to take down under
// Wine without a window manager); each test gets it back with its fields refilled.
class SkinControlsEditor : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new velmora::test::TempProgramDir(L"控件");
    store_ = new velmora::config::ConfigStore(dir_->Path());
    conflicts_ = new RecordingConflicts;
    owner_ = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  }
  static void TearDownTestSuite() {
    if (EditorWindow* open = velmora::test::Editors().Current()) ::DestroyWindow(open->Hwnd());
    ::DestroyWindow(owner_);
    delete conflicts_;
    delete store_;
    delete dir_;
  }
  void SetUp() override {
    ASSERT_TRUE(velmora::test::StartSkinEngine());
    velmora::test::Editors().SetSkinHook(velmora::app::SkinEditor);
    store_->WriteValue(L"常用标题", L"3", L"掌声");
    store_->WriteValue(L"常用快捷键if", L"3", L"");
    store_->WriteValue(L"其他快捷键if", L"2", L"F1");  // F1 is taken by another slot
    editor_ = velmora::test::Editors().Open({1, 3}, *store_, owner_, *conflicts_, [] { ++saves_; });
    ASSERT_NE(editor_, nullptr);
    hwnd_ = editor_->Hwnd();
    conflicts_->taken.clear();
    saves_ = 0;
    ::SetForegroundWindow(hwnd_);
    ::SetFocus(hwnd_);
    PointerAway();
  }
  void TearDown() override { PointerAway(); }
  HWND Control(EditorWindow::ControlId id) const { return editor_->Control(id); }

  static inline velmora::test::TempProgramDir* dir_ = nullptr;
  static inline velmora::config::ConfigStore* store_ = nullptr;
  static inline RecordingConflicts* conflicts_ = nullptr;
  static inline HWND owner_ = nullptr;
  static inline int saves_ = 0;
  EditorWindow* editor_ = nullptr;
  HWND hwnd_ = nullptr;
};

// A push button's looks, from its pixels: the left edge halfway down and the body near the
// top-left corner (clear of the caption).
struct ButtonLookPixels {
  COLORREF edge, inside, body;
};

ButtonLookPixels ButtonPixels(HWND button) {
  const WindowPixels shot(button);
  const int mid = shot.Height() / 2;
  return ButtonLookPixels{shot.At(0, mid), shot.At(1, mid), shot.At(8, 5)};
}

TEST_F(SkinControlsEditor, PushButtonsNormalHoverPressedAndFocused) {
  for (auto id : {EditorWindow::kSaveButton, EditorWindow::kChooseButton}) {
    SCOPED_TRACE(id);
    HWND button = Control(id);
    ASSERT_NE(::GetWindowLongPtrW(button, GWL_STYLE) & BS_OWNERDRAW, 0) << "the frame paints it";
    ::SetFocus(Control(EditorWindow::kCaptionEdit));
    Settle();
    const ButtonLookPixels normal = ButtonPixels(button);
    // Resting: a dark rim (black at alpha 120) around a light body, and the caption in black.
    EXPECT_LT(Brightness(normal.edge), 160) << Hex(normal.edge);
    EXPECT_GT(Brightness(normal.body), 200) << Hex(normal.body);
    const WindowPixels resting(button);
    EXPECT_GT(resting.Dark(RECT{20, 6, 80, 24}), 30) << "the caption";

    // Hover: the rim in the opaque theme colour and the body tinted with it.
    MoveMouse(button, 50, 14);
    const ButtonLookPixels hot = ButtonPixels(button);
    EXPECT_TRUE(velmora::test::Near(hot.edge, kTheme, 2)) << Hex(hot.edge);
    EXPECT_LT(Distance(hot.body, kTheme), Distance(normal.body, kTheme) - 20) << Hex(hot.body);

    // Held down (the pointer moved off before release, so nothing is clicked): the sunken
    // theme-coloured gradient inside the focus glow.
    MouseDown();
    const ButtonLookPixels pressed = ButtonPixels(button);
    EXPECT_LT(Distance(pressed.body, kTheme), Distance(normal.body, kTheme) - 20) << Hex(pressed.body);
    EXPECT_FALSE(velmora::test::Near(pressed.edge, kTheme, 2)) << "a pressed button is not drawn hot";
    MoveMouse(hwnd_, 200, 190);
    MouseUp();
    ASSERT_TRUE(::IsWindow(hwnd_)) << "a press released elsewhere clicks nothing";
    PointerAway();

    // Focused (keyboard focus, pointer elsewhere): a theme glow just inside a dark rim.
    ::SetFocus(button);
    Settle();
    const ButtonLookPixels focused = ButtonPixels(button);
    EXPECT_LT(Distance(focused.inside, kTheme), Distance(normal.inside, kTheme) - 60)
        << Hex(focused.inside) << " vs " << Hex(normal.inside);
    EXPECT_FALSE(velmora::test::Near(focused.edge, kTheme, 2));
    EXPECT_TRUE(velmora::test::Near(normal.body, focused.body, 4)) << "no tint without hover or press";

    // Hovering the focused button shows the hot look, leaving brings the glow back.
    MoveMouse(button, 50, 14);
    EXPECT_TRUE(velmora::test::Near(ButtonPixels(button).edge, kTheme, 2));
    PointerAway();
    const ButtonLookPixels back = ButtonPixels(button);
    EXPECT_TRUE(velmora::test::Near(back.inside, focused.inside, 4)) << Hex(back.inside);
    EXPECT_TRUE(velmora::test::Near(back.edge, focused.edge, 4)) << Hex(back.edge);
  }
}

TEST_F(SkinControlsEditor, TypedTextAppearsInTheEditBoxes) {
  HWND caption = Control(EditorWindow::kCaptionEdit);
  HWND path = Control(EditorWindow::kPathEdit);
  ::SetWindowTextW(caption, L"");
  Settle();
  RECT client;
  ::GetClientRect(caption, &client);
  const RECT text{3, 3, client.right - 3, client.bottom - 3};
  const int emptyDark = WindowPixels(caption).Dark(text);
  // Real key presses into the focused edit.
  ::SetFocus(caption);
  for (WORD key : {'A', 'B', 'C', '1', '2'}) velmora::test::TapKey(key);
  Settle();
  EXPECT_EQ(velmora::test::WindowText(caption), L"abc12");
  EXPECT_GT(WindowPixels(caption).Dark(text), emptyDark + 15) << "the typed text is on the screen";
  // Characters as the input method would deliver them.
  ::SetFocus(path);
  for (wchar_t c : std::wstring(L"D:\\音效.wav")) ::SendMessageW(path, WM_CHAR, c, 0);
  Settle();
  EXPECT_EQ(velmora::test::WindowText(path), L"D:\\音效.wav");
  EXPECT_GT(WindowPixels(path).Dark(text), 20);
}

// Normal, focused and hot frames of an edit box, read on the screen: 1 pixel of black at alpha
// 80, 1 pixel of the theme colour at alpha 180, 2 pixels of it when hot. The field behind the
// frame is opaque white.
void ExpectEditFrames(HWND edit, HWND elsewhere) {
  PointerAway();
  ::SetFocus(elsewhere);
  Settle();
  RECT window, client;
  ::GetWindowRect(edit, &window);
  ::GetClientRect(edit, &client);
  const int border = (window.right - window.left - client.right) / 2;
  ASSERT_GE(border, 1) << "no non-client ring to paint the frame in";
  const int mid = (window.bottom - window.top) / 2;
  const WindowPixels normal(edit);
  EXPECT_TRUE(velmora::test::Near(normal.At(0, mid), Blend(0, kWhite, 80), 3)) << Hex(normal.At(0, mid));
  if (border >= 2) {
    EXPECT_EQ(normal.At(1, mid), kWhite);
  }

  ::SetFocus(edit);
  Settle();
  const WindowPixels focused(edit);
  EXPECT_TRUE(velmora::test::Near(focused.At(0, mid), Blend(kTheme, kWhite, 180), 3)) << Hex(focused.At(0, mid));
  if (border >= 2) {
    EXPECT_EQ(focused.At(1, mid), kWhite);
  }

  MoveMouse(edit, client.right / 2, client.bottom / 2);
  const WindowPixels hot(edit);
  const COLORREF themed = Blend(kTheme, kWhite, 180);
  if (border >= 2) {
    EXPECT_TRUE(velmora::test::Near(hot.At(1, mid), themed, 3)) << Hex(hot.At(1, mid));
  }
  EXPECT_TRUE(velmora::test::Near(hot.At(0, mid), themed, 3) ||
              velmora::test::Near(hot.At(hot.Width() - 1, mid), themed, 3))
      << Hex(hot.At(0, mid));

  PointerAway();
  // The frame is painted again once the control has heard the pointer left.
  PumpUntil([&] {
    const WindowPixels now(edit);
    return velmora::test::Near(now.At(0, mid), themed, 3) && (border < 2 || now.At(1, mid) == kWhite);
  });
  const WindowPixels left(edit);
  EXPECT_TRUE(velmora::test::Near(left.At(0, mid), themed, 3)) << "back to the focused frame";
  if (border >= 2) {
    EXPECT_EQ(left.At(1, mid), kWhite);
  }
}

TEST_F(SkinControlsEditor, EditFramesNormalFocusedAndHot) {
  for (auto id : {EditorWindow::kCaptionEdit, EditorWindow::kPathEdit}) {
    HWND edit = Control(id);
    RECT window, client;
    ::GetWindowRect(edit, &window);
    ::GetClientRect(edit, &client);
    // The frame is non-client: the engine draws it around the text area.
    ASSERT_GT(window.right - window.left, client.right);
    SCOPED_TRACE(id);
    ExpectEditFrames(edit, Control(EditorWindow::kSaveButton));
  }
}

TEST_F(SkinControlsEditor, ComboNormalHotFocusedAndItsDropDownList) {
  HWND combo = Control(EditorWindow::kHotkeyCombo);
  ASSERT_TRUE(::IsWindowVisible(combo));
  ::SetFocus(Control(EditorWindow::kSaveButton));
  Settle();
  RECT r;
  ::GetWindowRect(combo, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int mid = h / 2;
  const int buttonX = w - 18 - 2;  // a drop-down combo's button is 18 wide
  const COLORREF themed = Blend(kTheme, kWhite, 200);

  const WindowPixels normal(combo);
  EXPECT_TRUE(velmora::test::Near(normal.At(0, mid), Blend(0, kWhite, 80), 3)) << Hex(normal.At(0, mid));
  EXPECT_TRUE(velmora::test::Near(normal.At(1, mid), kWhite, 0)) << Hex(normal.At(1, mid));
  // The drop button: a theme-coloured gradient around the black down arrow.
  EXPECT_LT(Distance(normal.At(buttonX + 3, mid), kTheme), Distance(kWhite, kTheme) - 60);
  int arrow = 0;
  for (int y = 2; y < h - 2; ++y)
    for (int x = buttonX; x < buttonX + 18; ++x) arrow += Brightness(normal.At(x, y)) < 60;
  EXPECT_GE(arrow, 8) << "the 7 x 4 arrow";

  // Hot: the theme frame, and the button's gradient runs deeper into the theme colour.
  MoveMouse(combo, buttonX + 9, mid);
  const WindowPixels hot(combo);
  EXPECT_TRUE(velmora::test::Near(hot.At(0, mid), themed, 3)) << Hex(hot.At(0, mid));
  EXPECT_LT(Distance(hot.At(buttonX + 3, h - 5), kTheme), Distance(normal.At(buttonX + 3, h - 5), kTheme) - 20)
      << Hex(hot.At(buttonX + 3, h - 5)) << " " << Hex(normal.At(buttonX + 3, h - 5));
  PointerAway();
  EXPECT_TRUE(velmora::test::Near(WindowPixels(combo).At(0, mid), Blend(0, kWhite, 80), 3)) << "hover left";

  // Focused at once.
  ::SetFocus(combo);
  Settle();
  const WindowPixels focused(combo);
  EXPECT_TRUE(velmora::test::Near(focused.At(0, mid), themed, 3)) << Hex(focused.At(0, mid));
  // Still focused when it paints again while its edit part holds the caret.
  ASSERT_TRUE(::IsChild(combo, ::GetFocus())) << "the edit part holds the focus";
  ::InvalidateRect(combo, nullptr, TRUE);
  Settle();
  EXPECT_TRUE(velmora::test::Near(WindowPixels(combo).At(0, mid), themed, 3));
  // Focus gone: normal again at the next paint.
  ::SetFocus(Control(EditorWindow::kSaveButton));
  ::InvalidateRect(combo, nullptr, TRUE);
  Settle();
  EXPECT_TRUE(velmora::test::Near(WindowPixels(combo).At(0, mid), Blend(0, kWhite, 80), 3)) << "focus left";
  ::SetFocus(combo);
  Settle();

  // The drop-down list opens with the platform's own frame, none of the engine's.
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(::GetComboBoxInfo(combo, &info));
  HWND list = info.hwndList;
  ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  Settle();
  ASSERT_TRUE(::IsWindowVisible(list));
  const WindowPixels dropped(list);
  // The platform draws a border in the window-frame colour; the engine's would be black at
  // alpha 90 over white, or the theme colour under the pointer.
  const COLORREF windowFrame = ::GetSysColor(COLOR_WINDOWFRAME);
  EXPECT_EQ(dropped.At(0, dropped.Height() / 2), windowFrame) << Hex(dropped.At(0, dropped.Height() / 2));
  EXPECT_EQ(dropped.At(dropped.Width() / 2, dropped.Height() - 1), windowFrame);
  MoveMouse(list, 20, 10);
  const WindowPixels hovered(list);
  EXPECT_EQ(hovered.At(0, hovered.Height() / 2), windowFrame) << "no engine frame under the pointer either";
  PointerAway();
  EXPECT_EQ(dropped.Count(RECT{0, 0, dropped.Width(), dropped.Height()}, kMagenta), 0);
  EXPECT_GT(dropped.Dark(RECT{2, 2, dropped.Width() - 20, 40}), 10) << "its items";
  ::SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  Settle();
  EXPECT_FALSE(::IsWindowVisible(list));
  const WindowPixels closed(combo);
  EXPECT_EQ(closed.Count(RECT{0, 0, closed.Width(), closed.Height()}, kMagenta), 0);
  EXPECT_LT(Distance(closed.At(buttonX + 3, mid), kTheme), Distance(kWhite, kTheme) - 60) << "the button is back";
}

TEST_F(SkinControlsEditor, PickingFromTheDropDownListReachesTheEditor) {
  HWND combo = Control(EditorWindow::kHotkeyCombo);
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(::GetComboBoxInfo(combo, &info));
  HWND list = info.hwndList;
  // Opened by a click on the drop button, an item picked with the mouse.
  RECT r;
  ::GetWindowRect(combo, &r);
  velmora::test::ClickAt(combo, r.right - r.left - 10, (r.bottom - r.top) / 2);
  ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(list) != FALSE; }, 2000)) << "the list did not open";
  const int itemHeight = static_cast<int>(::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
  ASSERT_GT(itemHeight, 0);
  velmora::test::ClickAt(list, 20, 2 * itemHeight + itemHeight / 2);  // F2
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindowVisible(list); }, 2000));
  EXPECT_EQ(velmora::test::WindowText(combo), L"F2");
  EXPECT_TRUE(conflicts_->taken.empty());
  // Picked with the keyboard: F1, held by another slot, is refused by the editor's check.
  ::SetFocus(combo);
  ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  Settle();
  velmora::test::TapKey(VK_UP);
  velmora::test::TapKey(VK_RETURN);
  Settle();
  EXPECT_EQ(conflicts_->taken, (std::vector<std::wstring>{L"F1"})) << "CBN_SELCHANGE reached the editor";
  EXPECT_EQ(velmora::test::WindowText(combo), L"");
  // And the text on the screen follows.
  ::SendMessageW(combo, CB_SETCURSEL, 5, 0);  // F5
  Settle();
  EXPECT_EQ(velmora::test::WindowText(combo), L"F5");
  const WindowPixels shown(combo);
  EXPECT_GT(shown.Dark(RECT{3, 3, 40, shown.Height() - 3}), 10);
}

TEST_F(SkinControlsEditor, EscapeStillClosesAndTheSaveButtonStillSaves) {
  // Esc in a skinned edit box, as the program's message loop sees it: closed, nothing written.
  ::SetWindowTextW(Control(EditorWindow::kCaptionEdit), L"不保存");
  MSG escape{Control(EditorWindow::kCaptionEdit), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  EXPECT_TRUE(velmora::ui::HandleEscape(escape));
  Settle();
  EXPECT_FALSE(::IsWindow(hwnd_));
  EXPECT_EQ(store_->ReadValue(L"常用标题", L"3"), L"掌声");

  editor_ = velmora::test::Editors().Open({1, 3}, *store_, owner_, *conflicts_, [] { ++saves_; });
  ASSERT_NE(editor_, nullptr);
  hwnd_ = editor_->Hwnd();
  Settle();
  ::SetWindowTextW(Control(EditorWindow::kCaptionEdit), L"欢呼");
  ::SetWindowTextW(Control(EditorWindow::kPathEdit), L"C:\\欢呼.wav");
  ::SetWindowTextW(Control(EditorWindow::kHotkeyCombo), L"F9");
  ::SendMessageW(Control(EditorWindow::kSaveButton), BM_CLICK, 0, 0);
  Settle();
  EXPECT_FALSE(::IsWindow(hwnd_));
  EXPECT_EQ(saves_, 1);
  EXPECT_EQ(store_->ReadValue(L"常用标题", L"3"), L"欢呼");
  EXPECT_EQ(store_->ReadValue(L"常用路径", L"3"), L"C:\\欢呼.wav");
  EXPECT_EQ(store_->ReadValue(L"快捷键", L"F9"), L"C:\\欢呼.wav");
}

// Closes the open-file dialog of this process as soon as it shows.
DWORD WINAPI CancelFileDialog(LPVOID param) {
  auto* seen = static_cast<volatile LONG*>(param);
  HWND dialog = nullptr;
  if (!velmora::test::WaitFor([&] { return (dialog = velmora::test::FindOwnDialog()) != nullptr; })) return 0;
  *seen = 1;
  ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  return 0;
}

TEST_F(SkinControlsEditor, AClickOnTheChooseButtonOpensTheFileDialog) {
  volatile LONG seen = 0;
  HANDLE thread = ::CreateThread(nullptr, 0, CancelFileDialog, const_cast<LONG*>(&seen), 0, nullptr);
  ASSERT_NE(thread, nullptr);
  HWND button = Control(EditorWindow::kChooseButton);
  MoveMouse(button, 50, 14);
  MouseDown();
  ::PostMessageW(button, WM_NULL, 0, 0);
  MouseUp();  // the dialog runs its own loop until the thread cancels it
  ::WaitForSingleObject(thread, 10000);
  ::CloseHandle(thread);
  EXPECT_EQ(seen, 1) << "no file dialog";
  EXPECT_TRUE(::IsWindow(hwnd_));
}

// ---------------------------------------------------------------------------------------------
// A window of our own with every kind of control.

enum TestId : int { kDisabled = 201, kPush, kCheck, kRadio1, kRadio2, kEdit, kDropList, kDropDown, kList, kMultiLine };

int g_clicks[kMultiLine + 1] = {};

LRESULT CALLBACK TestWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) <= kMultiLine) ++g_clicks[LOWORD(wParam)];
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// One test window for the suite; each test finds its controls back in their first state.
class SkinControlsTestWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!velmora::test::StartSkinEngine()) return;
    WNDCLASSW cls{};
    cls.lpfnWndProc = TestWindowProcedure;
    cls.hInstance = ::GetModuleHandleW(nullptr);
    cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    cls.lpszClassName = L"VelmoraSkinControlsTest";
    ::RegisterClassW(&cls);
    hwnd_ = ::CreateWindowExW(0, cls.lpszClassName, L"控件", WS_POPUP | WS_CLIPCHILDREN, 60, 60, 400, 300, nullptr,
                              nullptr, cls.hInstance, nullptr);
    if (!hwnd_) return;
    Make(0, L"BUTTON", L"禁用按钮", BS_PUSHBUTTON | WS_DISABLED, {10, 40, 100, 28}, kDisabled);
    Make(0, L"BUTTON", L"按钮", BS_PUSHBUTTON | WS_TABSTOP, {120, 40, 100, 28}, kPush);
    Make(0, L"BUTTON", L"复选框", BS_AUTOCHECKBOX | WS_TABSTOP, {10, 80, 120, 20}, kCheck);
    Make(0, L"BUTTON", L"单选一", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, {10, 105, 120, 20}, kRadio1);
    Make(0, L"BUTTON", L"单选二", BS_AUTORADIOBUTTON, {10, 130, 120, 20}, kRadio2);
    Make(WS_EX_CLIENTEDGE, L"EDIT", L"文字", ES_AUTOHSCROLL | WS_TABSTOP, {10, 160, 150, 24}, kEdit);
    HWND dropList =
        Make(0, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {10, 195, 150, 200}, kDropList);
    for (const wchar_t* item : {L"甲", L"乙", L"丙"})
      ::SendMessageW(dropList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    HWND dropDown = Make(0, L"COMBOBOX", L"", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, {170, 160, 60, 200}, kDropDown);
    for (const wchar_t* item : {L"一", L"二", L"三"})
      ::SendMessageW(dropDown, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    HWND list = Make(0, L"LISTBOX", L"", WS_BORDER | WS_VSCROLL | LBS_NOTIFY | WS_TABSTOP, {240, 40, 150, 120}, kList);
    for (int i = 1; i <= 50; ++i) {
      const std::wstring item = L"第" + std::to_wstring(i) + L"项";
      ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    std::wstring lines;
    for (int i = 1; i <= 30; ++i) lines += L"第" + std::to_wstring(i) + L"行\r\n";
    Make(WS_EX_CLIENTEDGE, L"EDIT", lines.c_str(), ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
         {240, 170, 150, 100}, kMultiLine);
    SkinEngine::Instance()->SkinWindow(hwnd_, velmora::skin::SkinOptions{});
    ::ShowWindow(hwnd_, SW_SHOW);
  }
  static void TearDownTestSuite() {
    if (hwnd_) ::DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
  static HWND Make(DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, RECT r, int id) {
    HWND control =
        ::CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right, r.bottom, hwnd_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return control;
  }

  void SetUp() override {
    ASSERT_NE(hwnd_, nullptr);
    ::SetForegroundWindow(hwnd_);
    ::SetFocus(hwnd_);
    for (int id : {kCheck, kRadio1, kRadio2}) ::SendMessageW(Item(id), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SetWindowTextW(Item(kPush), L"按钮");
    ::SetWindowTextW(Item(kCheck), L"复选框");
    ::SendMessageW(Item(kDropList), CB_SETCURSEL, 1, 0);
    ::SendMessageW(Item(kList), LB_SETTOPINDEX, 0, 0);
    ::SendMessageW(Item(kMultiLine), WM_VSCROLL, SB_TOP, 0);
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    PointerAway();
    for (int& count : g_clicks) count = 0;
  }
  void TearDown() override { PointerAway(); }
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
  int Check(int id) const { return static_cast<int>(::SendMessageW(Item(id), BM_GETCHECK, 0, 0)); }

  static inline HWND hwnd_ = nullptr;
};

TEST_F(SkinControlsTestWindow, EveryControlIsSkinned) {
  SkinEngine* engine = SkinEngine::Instance();
  const velmora::skin::ControlRecord* disabled = engine->RecordOf(Item(kDisabled), velmora::skin::kButtons);
  ASSERT_NE(disabled, nullptr);
  EXPECT_EQ(disabled->kind, 0);
  EXPECT_EQ(engine->RecordOf(Item(kCheck), velmora::skin::kButtons)->kind, 5);
  EXPECT_EQ(engine->RecordOf(Item(kRadio2), velmora::skin::kButtons)->kind, 4);
  EXPECT_NE(engine->RecordOf(Item(kEdit), velmora::skin::kEdits), nullptr);
  EXPECT_NE(engine->RecordOf(Item(kMultiLine), velmora::skin::kEdits), nullptr);
  EXPECT_NE(engine->RecordOf(Item(kList), velmora::skin::kLists), nullptr);
  EXPECT_NE(engine->RecordOf(Item(kDropList), velmora::skin::kCombos), nullptr);
  EXPECT_NE(engine->RecordOf(Item(kDropDown), velmora::skin::kCombos), nullptr);
  EXPECT_EQ(engine->SurfaceCount(), 0u) << "every painter released its surfaces";
}

TEST_F(SkinControlsTestWindow, DisabledPushButtonIsOpaqueSilverWhateverTheMouseDoes) {
  HWND button = Item(kDisabled);
  auto expectSilver = [&](const char* when) {
    const WindowPixels shot(button);
    // Outside the rounded corner the silver is exact; inside, the faint gloss keeps it silver.
    EXPECT_EQ(shot.At(0, 0), kSilver) << when << " " << Hex(shot.At(0, 0));
    EXPECT_EQ(shot.At(shot.Width() - 1, shot.Height() - 1), kSilver) << when;
    EXPECT_TRUE(velmora::test::Near(shot.At(8, shot.Height() / 2), kSilver, 20)) << when << " " << Hex(shot.At(8, 14));
    EXPECT_GT(Distance(shot.At(0, shot.Height() / 2), kTheme), 150) << when;
  };
  expectSilver("resting");
  MoveMouse(button, 50, 14);
  expectSilver("hovered");
  MouseDown();
  expectSilver("pressed");
  MouseUp();
  ::SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(50, 14));  // even told directly
  Settle();
  expectSilver("told of a hover");
  ::SendMessageW(button, WM_MOUSELEAVE, 0, 0);
  Settle();
  expectSilver("told of a leave");
  EXPECT_EQ(g_clicks[kDisabled], 0);
}

// Where the ticked picture differs most from the empty one (both opaque there).
POINT TickPixel() {
  Gdiplus::Bitmap* empty = SkinEngine::Instance()->GlyphPicture(velmora::skin::Glyph::CheckEmpty);
  Gdiplus::Bitmap* ticked = SkinEngine::Instance()->GlyphPicture(velmora::skin::Glyph::CheckTicked);
  POINT best{-1, -1};
  int bestDistance = 0;
  for (int y = 0; y < 13; ++y) {
    for (int x = 0; x < 13; ++x) {
      Gdiplus::Color a, b;
      empty->GetPixel(x, y, &a);
      ticked->GetPixel(x, y, &b);
      if (a.GetA() != 255 || b.GetA() != 255) continue;
      const int d = Distance(RGB(a.GetR(), a.GetG(), a.GetB()), RGB(b.GetR(), b.GetG(), b.GetB()));
      if (d > bestDistance) bestDistance = d, best = POINT{x, y};
    }
  }
  return best;
}

COLORREF GlyphColour(velmora::skin::Glyph glyph, POINT p) {
  Gdiplus::Color c;
  SkinEngine::Instance()->GlyphPicture(glyph)->GetPixel(p.x, p.y, &c);
  return RGB(c.GetR(), c.GetG(), c.GetB());
}

TEST_F(SkinControlsTestWindow, CheckBoxShowsItsStateAfterClicksAndSpace) {
  HWND box = Item(kCheck);
  const POINT tick = TickPixel();
  ASSERT_GE(tick.x, 0);
  RECT client;
  ::GetClientRect(box, &client);
  const int y0 = (client.bottom - 13) / 2;
  const COLORREF emptyColour = GlyphColour(velmora::skin::Glyph::CheckEmpty, tick);
  const COLORREF tickedColour = GlyphColour(velmora::skin::Glyph::CheckTicked, tick);
  auto shown = [&] { return WindowPixels(box).At(tick.x, y0 + tick.y); };
  EXPECT_TRUE(velmora::test::Near(shown(), emptyColour, 3)) << Hex(shown());
  EXPECT_GT(WindowPixels(box).Dark(RECT{17, 0, client.right, client.bottom}), 15) << "the caption";

  velmora::test::ClickAt(box, 6, client.bottom / 2);
  PointerAway();
  EXPECT_EQ(Check(kCheck), BST_CHECKED);
  EXPECT_TRUE(velmora::test::Near(shown(), tickedColour, 3)) << Hex(shown());
  EXPECT_EQ(g_clicks[kCheck], 1);

  // Hot: the box takes a theme-coloured shine.
  MoveMouse(box, 6, client.bottom / 2);
  const COLORREF hotCorner = WindowPixels(box).At(3, y0 + 2);
  PointerAway();
  const COLORREF coldCorner = WindowPixels(box).At(3, y0 + 2);
  EXPECT_LT(Distance(hotCorner, kTheme), Distance(coldCorner, kTheme) - 20) << Hex(hotCorner) << " " << Hex(coldCorner);

  // The space bar, on the focused box.
  PressKey(box, VK_SPACE);
  EXPECT_EQ(Check(kCheck), BST_UNCHECKED);
  EXPECT_TRUE(velmora::test::Near(shown(), emptyColour, 3)) << Hex(shown());
  PressKey(box, VK_SPACE);
  EXPECT_EQ(Check(kCheck), BST_CHECKED);
  EXPECT_TRUE(velmora::test::Near(shown(), tickedColour, 3)) << Hex(shown());
}

// The radio dot's rim is teal: green and blue well above red. An empty circle is grey-white.
bool DotShown(HWND radio) {
  RECT client;
  ::GetClientRect(radio, &client);
  const int top = (client.bottom - 12) / 2;
  const COLORREF c = WindowPixels(radio).At(6, top + 6);
  return GetGValue(c) > GetRValue(c) + 40 && GetBValue(c) > GetRValue(c) + 40;
}

TEST_F(SkinControlsTestWindow, RadioButtonsShowTheirDotAfterClicksAndSpace) {
  HWND one = Item(kRadio1), two = Item(kRadio2);
  EXPECT_FALSE(DotShown(one));
  EXPECT_FALSE(DotShown(two));
  RECT client;
  ::GetClientRect(two, &client);
  velmora::test::ClickAt(two, 8, client.bottom / 2);
  PointerAway();
  EXPECT_EQ(Check(kRadio2), BST_CHECKED);
  EXPECT_TRUE(DotShown(two));
  EXPECT_FALSE(DotShown(one));
  // The ring: a dark circle of diameter 12.
  const int top = (client.bottom - 12) / 2;
  EXPECT_LT(Brightness(WindowPixels(two).At(2, top + 6)), 150);

  PressKey(one, VK_SPACE);
  EXPECT_EQ(Check(kRadio1), BST_CHECKED);
  EXPECT_EQ(Check(kRadio2), BST_UNCHECKED);
  EXPECT_TRUE(DotShown(one));
  EXPECT_FALSE(DotShown(two));
  ::SendMessageW(two, BM_SETCHECK, BST_CHECKED, 0);
  Settle();
  EXPECT_TRUE(DotShown(two));
}

TEST_F(SkinControlsTestWindow, ADoubleClickIsOneClick) {
  for (int id : {kPush, kCheck}) {
    SCOPED_TRACE(id);
    HWND button = Item(id);
    const int before = Check(kCheck);
    MoveMouse(button, 8, 10);
    MouseDown();
    MouseUp();
    MouseDown();  // within the double-click time: a WM_LBUTTONDBLCLK
    MouseUp();
    Settle();
    EXPECT_EQ(g_clicks[id], 1);
    if (id == kCheck) {
      EXPECT_NE(Check(kCheck), before) << "toggled once";
    }
    PointerAway();  // the next press is on another button: no double click with this one
  }
}

TEST_F(SkinControlsTestWindow, NewButtonTextShowsAtTheNextPaint) {
  HWND button = Item(kPush);
  RECT text{10, 4, 90, 26};
  const int before = WindowPixels(button).Dark(text, 110);
  const std::wstring longer = L"全部保存变更";
  ::SendMessageW(button, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longer.c_str()));
  EXPECT_EQ(SkinEngine::Instance()->RecordOf(button, velmora::skin::kButtons)->caption, longer);
  ::InvalidateRect(button, nullptr, TRUE);
  Settle();
  const int after = WindowPixels(button).Dark(text, 110);
  EXPECT_GT(after, before * 2) << before << " -> " << after;
  // The same for a check box.
  HWND box = Item(kCheck);
  RECT client;
  ::GetClientRect(box, &client);
  const RECT caption{17, 0, client.right, client.bottom};
  const int boxBefore = WindowPixels(box).Dark(caption, 110);
  ::SetWindowTextW(box, L"一个很长的复选框");
  ::InvalidateRect(box, nullptr, TRUE);
  Settle();
  EXPECT_GT(WindowPixels(box).Dark(caption, 110), boxBefore + 20);
}

TEST_F(SkinControlsTestWindow, ScrolledListKeepsTheFrameAndThePlatformScrollBar) {
  HWND list = Item(kList);
  SCROLLBARINFO bar{};
  bar.cbSize = sizeof(bar);
  RECT window;
  auto check = [&](const char* when, COLORREF frame) {
    ASSERT_TRUE(::GetScrollBarInfo(list, OBJID_VSCROLL, &bar));
    ::GetWindowRect(list, &window);
    const WindowPixels shot(list);
    const int mid = shot.Height() / 2;
    EXPECT_TRUE(velmora::test::Near(shot.At(0, mid), frame, 3)) << when << " " << Hex(shot.At(0, mid));
    EXPECT_TRUE(velmora::test::Near(shot.At(mid, 0), frame, 3)) << when;
    EXPECT_TRUE(velmora::test::Near(shot.At(shot.Width() - 1, mid), frame, 3)) << when;
    EXPECT_EQ(shot.Count(RECT{0, 0, shot.Width(), shot.Height()}, kMagenta), 0) << when;
    // The scroll bar is inside the frame and drawn by the platform: its arrow buttons carry
    // the button face colour, never the engine's white.
    const RECT barRect{bar.rcScrollBar.left - window.left, bar.rcScrollBar.top - window.top,
                       bar.rcScrollBar.right - window.left, bar.rcScrollBar.bottom - window.top};
    EXPECT_GT(barRect.left, 0);
    EXPECT_LT(barRect.right, shot.Width());
    EXPECT_GT(shot.Count(barRect, ::GetSysColor(COLOR_BTNFACE)), 40) << when;
    EXPECT_GT(shot.Dark(RECT{barRect.left, barRect.top, barRect.right, barRect.top + 16}, 80), 3)
        << when << ": the up arrow";
    // Items are the list's own.
    EXPECT_GT(shot.Dark(RECT{2, 2, barRect.left, shot.Height() - 2}), 40) << when;
  };
  const COLORREF normal = Blend(0, kWhite, 90);
  check("at the top", normal);
  ::SendMessageW(list, LB_SETTOPINDEX, 20, 0);
  Settle();
  EXPECT_EQ(::SendMessageW(list, LB_GETTOPINDEX, 0, 0), 20);
  check("scrolled", normal);
  // The wheel, under the pointer: the frame stays, hot.
  RECT client;
  ::GetClientRect(list, &client);
  MoveMouse(list, client.right / 2, client.bottom / 2);
  INPUT wheel{};
  wheel.type = INPUT_MOUSE;
  wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
  wheel.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA * 2);
  ::SendInput(1, &wheel, sizeof(wheel));
  PumpUntil([list] { return ::SendMessageW(list, LB_GETTOPINDEX, 0, 0) > 20; });
  EXPECT_GT(::SendMessageW(list, LB_GETTOPINDEX, 0, 0), 20) << "the wheel scrolled it";
  const COLORREF themed = Blend(kTheme, kWhite, 200);
  const auto hotFrame = [&](const WindowPixels& shot) {
    return velmora::test::Near(shot.At(0, shot.Height() / 2), themed, 3) ||
           velmora::test::Near(shot.At(1, shot.Height() / 2), themed, 3);
  };
  PumpUntil([&] { return hotFrame(WindowPixels(list)); });  // repainted hot under the pointer
  const WindowPixels hot(list);
  EXPECT_TRUE(hotFrame(hot)) << Hex(hot.At(0, hot.Height() / 2));
  PointerAway();
  check("after the wheel", normal);
  // Focused: the theme frame.
  ::SetFocus(list);
  Settle();
  check("focused", Blend(kTheme, kWhite, 200));
}

TEST_F(SkinControlsTestWindow, EditFrameGoesAroundTextAndScrollBar) {
  HWND edit = Item(kMultiLine);
  ASSERT_NE(::GetWindowLongPtrW(edit, GWL_STYLE) & WS_VSCROLL, 0);
  SCROLLBARINFO bar{};
  bar.cbSize = sizeof(bar);
  ASSERT_TRUE(::GetScrollBarInfo(edit, OBJID_VSCROLL, &bar));
  RECT window;
  ::GetWindowRect(edit, &window);
  const WindowPixels shot(edit);
  const int mid = shot.Height() / 2;
  const COLORREF frame = Blend(0, kWhite, 80);
  // The frame on all four sides, the right one beyond the scroll bar.
  EXPECT_TRUE(velmora::test::Near(shot.At(0, mid), frame, 3)) << Hex(shot.At(0, mid));
  EXPECT_TRUE(velmora::test::Near(shot.At(shot.Width() - 1, mid), frame, 3)) << Hex(shot.At(shot.Width() - 1, mid));
  EXPECT_TRUE(velmora::test::Near(shot.At(20, 0), frame, 3));
  EXPECT_TRUE(velmora::test::Near(shot.At(20, shot.Height() - 1), frame, 3));
  EXPECT_EQ(shot.At(1, mid), kWhite);
  EXPECT_EQ(shot.At(shot.Width() - 2, mid), kWhite);
  const RECT barRect{bar.rcScrollBar.left - window.left, bar.rcScrollBar.top - window.top,
                     bar.rcScrollBar.right - window.left, bar.rcScrollBar.bottom - window.top};
  EXPECT_EQ(barRect.right, shot.Width() - 2) << "the bar sits inside the 2-pixel ring";
  EXPECT_GT(shot.Count(barRect, ::GetSysColor(COLOR_BTNFACE)), 40) << "the platform's scroll bar";
  EXPECT_GT(shot.Dark(RECT{3, 3, barRect.left, shot.Height() - 3}), 40) << "the edit's own text";
  // Scrolling keeps both.
  ::SendMessageW(edit, WM_VSCROLL, SB_PAGEDOWN, 0);
  Settle();
  const WindowPixels scrolled(edit);
  EXPECT_TRUE(velmora::test::Near(scrolled.At(shot.Width() - 1, mid), frame, 3));
  EXPECT_GT(scrolled.Count(barRect, ::GetSysColor(COLOR_BTNFACE)), 40);
}

TEST_F(SkinControlsTestWindow, EditFramesNormalFocusedAndHot) { ExpectEditFrames(Item(kEdit), Item(kPush)); }

TEST_F(SkinControlsTestWindow, DropDownListComboDrawsItsTextInBlack) {
  HWND combo = Item(kDropList);
  const WindowPixels shot(combo);
  const int w = shot.Width(), h = shot.Height();
  const int buttonX = w - 17 - 2;  // 17 wide for a drop-down list
  EXPECT_EQ(velmora::test::WindowText(combo), L"乙");
  int black = 0;
  for (int y = 2; y < h - 2; ++y)
    for (int x = 4; x < buttonX; ++x) black += Brightness(shot.At(x, y)) < 60;
  EXPECT_GT(black, 8) << "the selected item's text";
  EXPECT_EQ(shot.At(buttonX - 3, 3), kWhite);
  EXPECT_LT(Distance(shot.At(buttonX + 3, h / 2), kTheme), Distance(kWhite, kTheme) - 60);
  ::SendMessageW(combo, CB_SETCURSEL, 2, 0);
  Settle();
  EXPECT_EQ(velmora::test::WindowText(combo), L"丙");
  EXPECT_EQ(WindowPixels(combo).Count(RECT{0, 0, w, h}, kMagenta), 0);
}

// ---------------------------------------------------------------------------------------------
// Leaks: every painter releases what it makes.

TEST_F(SkinControlsTestWindow, ObjectCountsStayFlatOverManyStateChanges) {
  HWND push = Item(kPush), check = Item(kCheck), radio1 = Item(kRadio1), radio2 = Item(kRadio2), edit = Item(kEdit),
       multi = Item(kMultiLine), list = Item(kList), combo = Item(kDropList), dropDown = Item(kDropDown),
       disabled = Item(kDisabled);
  const HWND all[] = {push, check, radio1, radio2, edit, multi, list, combo, dropDown, disabled};
  auto round = [&](int i) {
    for (HWND control : all) {
      ::SendMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));  // hot
      ::SendMessageW(control, WM_MOUSELEAVE, 0, 0);                // and back
    }
    for (HWND control : {push, check, radio1, edit, multi, list, combo, dropDown}) ::SetFocus(control);
    ::SendMessageW(check, BM_SETCHECK, i % 2 ? BST_CHECKED : BST_UNCHECKED, 0);
    ::SendMessageW(i % 2 ? radio1 : radio2, BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(i % 40), 0);
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i % 3), 0);
    ::SendMessageW(dropDown, CB_SETCURSEL, static_cast<WPARAM>(i % 3), 0);
    if (i % 20 == 0)
      ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessages();
  };
  for (int i = 0; i < 10; ++i) round(i);  // caches and first-use allocations settle
  const int gdi = velmora::test::GdiObjectCount();
  const int user = velmora::test::UserObjectCount();
  if (gdi < 0) GTEST_SKIP() << "GDI objects cannot be counted in this process; the 64-bit build checks them";
  ASSERT_GT(gdi, 0);
  for (int i = 0; i < 100; ++i) round(i);  // 200 hover and 200 focus changes of each control
  EXPECT_LE(velmora::test::GdiObjectCount() - gdi, 5);
  EXPECT_LE(velmora::test::UserObjectCount() - user, 5);
  EXPECT_EQ(SkinEngine::Instance()->SurfaceCount(), 0u);
}

}  // namespace
