// The skin engine's frame on the real effect editor (caption strip, border, background, labels,
// caption buttons and their fade, dragging, minimise/maximise/restore/close) and the engine's
// tables and picture services on windows and pictures of our own.
#include "app/EditorSkin.h"
#include "config/ConfigStore.h"
#include "hotkeys/Assignment.h"
#include "skin/Pictures.h"
#include "skin/SkinEngine.h"
#include "tests/support/Editors.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/SkinTesting.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/WindowCapture.h"
#include "ui/EditorWindow.h"
#include "ui/SmallWindows.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

using velmora::skin::SkinEngine;
using velmora::test::Brightness;
using velmora::test::Distance;
using velmora::test::Capture;
using velmora::test::MoveMouse;
using velmora::test::Near;
using velmora::test::PumpMessages;
using velmora::test::PumpUntil;
using velmora::ui::EditorWindow;

namespace {

constexpr COLORREF kTheme = 0xDDCA22;
constexpr int kEditorWidth = 399, kEditorHeight = 214;
// The editor's caption buttons (W = 399): minimise at 307, maximise at 334, close at 361.
constexpr POINT kMinimise{320, 10}, kMaximise{347, 10}, kClose{380, 10};

class NoConflicts : public velmora::hotkeys::ConflictReporter {
 public:
  void HotkeyTaken(const std::wstring&) override {}
};

class SkinnedEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(velmora::test::StartSkinEngine());
    velmora::test::Editors().SetSkinHook(velmora::app::SkinEditor);
    owner_ = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    store_.WriteValue(L"常用标题", L"3", L"掌声");
    editor_ = velmora::test::Editors().Open({1, 3}, store_, owner_, conflicts_, [] {});
    ASSERT_NE(editor_, nullptr);
    hwnd_ = editor_->Hwnd();
    PumpMessages();
  }
  void TearDown() override {
    if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
    ::DestroyWindow(owner_);
    MoveMouse(::GetDesktopWindow(), 5, 795);  // out of the way of the next test
  }
  velmora::skin::SkinnedWindow& Record() {
    SkinEngine* engine = SkinEngine::Instance();
    return *engine->WindowAt(engine->IndexOf(hwnd_));
  }

  velmora::test::TempProgramDir dir_{L"皮肤"};
  velmora::config::ConfigStore store_{dir_.Path()};
  NoConflicts conflicts_;
  HWND owner_ = nullptr;
  EditorWindow* editor_ = nullptr;
  HWND hwnd_ = nullptr;
};

TEST_F(SkinnedEditor, TablesPropertiesAndCaptionButtons) {
  SkinEngine& engine = *SkinEngine::Instance();
  const int index = engine.IndexOf(hwnd_);
  ASSERT_GE(index, 1);
  EXPECT_EQ(::GetPropW(hwnd_, L"Hw_lbID"), reinterpret_cast<HANDLE>(static_cast<intptr_t>(index)));
  EXPECT_NE(::GetPropW(hwnd_, L"Hw_hProc"), nullptr);
  EXPECT_NE(::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_SYSMENU, 0);
  velmora::skin::SkinnedWindow& w = Record();
  EXPECT_FALSE(w.resizable);
  EXPECT_EQ(w.backgroundMode, 3);
  // Minimise, maximise and close, from x = W − 92, 27 apart; close is 40 wide and reaches
  // two pixels past the right edge.
  ASSERT_EQ(w.buttons.size(), 3u);
  EXPECT_EQ(w.buttons[0].kind, velmora::skin::kMinimiseButton);
  EXPECT_EQ(w.buttons[1].kind, velmora::skin::kMaximiseButton);
  EXPECT_EQ(w.buttons[2].kind, velmora::skin::kCloseButton);
  EXPECT_EQ(w.blockWidth, 95);
  EXPECT_FLOAT_EQ(w.buttons[0].rect.x, kEditorWidth - 92.0f);
  EXPECT_FLOAT_EQ(w.buttons[1].rect.x, kEditorWidth - 65.0f);
  EXPECT_FLOAT_EQ(w.buttons[2].rect.x + w.buttons[2].rect.width, kEditorWidth + 2.0f);
  EXPECT_EQ(engine.HitTestCaptionButton(index, kMinimise.x, kMinimise.y), 1);
  EXPECT_EQ(engine.HitTestCaptionButton(index, kClose.x, kClose.y), 3);
  EXPECT_EQ(engine.HitTestCaptionButton(index, 307, 10), 0);  // on the edge: strictly inside only
  EXPECT_EQ(engine.HitTestCaptionButton(index, 200, 10), 0);
  // The labels are transparent controls of the editor; its buttons, edits, combo and volume
  // trackbar are skinned.
  EXPECT_EQ(w.transparent.size(), 4u);
  HWND label = editor_->Control(EditorWindow::kLabel1);
  EXPECT_EQ(::GetPropW(label, L"Kj_FuID"), reinterpret_cast<HANDLE>(static_cast<intptr_t>(index)));
  EXPECT_EQ(w.controls[velmora::skin::kButtons].size(), 2u);
  EXPECT_EQ(w.controls[velmora::skin::kEdits].size(), 2u);
  EXPECT_EQ(w.controls[velmora::skin::kCombos].size(), 1u);
  EXPECT_EQ(w.controls[velmora::skin::kSliders].size(), 1u);
  EXPECT_EQ(w.controls[velmora::skin::kLists].size(), 1u);  // the combo's drop-down list
  // Skinning again changes nothing.
  engine.SkinWindow(hwnd_);
  EXPECT_EQ(engine.IndexOf(hwnd_), index);
  EXPECT_EQ(Record().buttons.size(), 3u);
}

TEST_F(SkinnedEditor, CaptionBorderBackgroundAndLabelsOnScreen) {
  const Capture shot = Capture::OfScreen(hwnd_);
  ASSERT_EQ(shot.Width(), kEditorWidth);
  // The picture is stretched: its 25-pixel dark band covers 28 rows of the 214-pixel window.
  EXPECT_LT(Brightness(shot.At(150, 26)), 150);
  EXPECT_GT(Brightness(shot.At(150, 40)), 200);
  // Two-tone border: black outside, white just inside it, over the band.
  EXPECT_LT(Brightness(shot.At(150, 0)), Brightness(shot.At(150, 5)) - 30);
  EXPECT_GT(Brightness(shot.At(150, 1)), Brightness(shot.At(150, 5)) + 30);
  EXPECT_LT(Brightness(shot.At(150, kEditorHeight - 1)), 120);
  EXPECT_LT(Brightness(shot.At(0, 100)), 120);
  // The rounded outline: the window's region leaves the corner pixels out.
  HRGN region = ::CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(::GetWindowRgn(hwnd_, region), ERROR);
  EXPECT_FALSE(::PtInRegion(region, 0, 0));
  EXPECT_FALSE(::PtInRegion(region, kEditorWidth - 1, 0));
  EXPECT_TRUE(::PtInRegion(region, 3, 3));
  EXPECT_TRUE(::PtInRegion(region, 200, 0));
  // The corner pixels the region keeps show the frame, never the magenta the surface is keyed
  // with elsewhere.
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      if (!::PtInRegion(region, x, y)) continue;
      EXPECT_NE(shot.At(x, y), RGB(255, 0, 255)) << x << "," << y;
      EXPECT_NE(shot.At(kEditorWidth - 1 - x, y), RGB(255, 0, 255)) << x << "," << y;
      EXPECT_NE(shot.At(x, kEditorHeight - 1 - y), RGB(255, 0, 255)) << x << "," << y;
    }
  }
  ::DeleteObject(region);
  // The title in white (with its grey outline) after the 17 × 17 icon at (9, 5).
  RECT title{29, 8, 100, 22};
  int white = 0;
  for (int y = title.top; y < title.bottom; ++y)
    for (int x = title.left; x < title.right; ++x) white += Brightness(shot.At(x, y)) > 235;
  EXPECT_GT(white, 20);
  int iconPixels = 0;
  for (int y = 5; y < 22; ++y)
    for (int x = 9; x < 26; ++x) iconPixels += Distance(shot.At(x, y), shot.At(150, 12)) > 60;
  EXPECT_GT(iconPixels, 40);
  // The labels: black text straight on the picture, none of the face colour left around it.
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
  for (auto id : {EditorWindow::kLabel1, EditorWindow::kLabel2, EditorWindow::kLabel3}) {
    RECT r;
    ::GetWindowRect(editor_->Control(id), &r);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    int dark = 0, faceLeft = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        dark += Brightness(shot.At(x, y)) < 90;
        faceLeft += shot.At(x, y) == face;
      }
    }
    EXPECT_GT(dark, 15) << "label " << id;
    EXPECT_EQ(faceLeft, 0) << "label " << id;
  }
}

TEST_F(SkinnedEditor, CaptionButtonLooksHoverFadeAndPress) {
  const Capture normal = Capture::OfScreen(hwnd_);
  // The glyphs are white on the band, with the sheen and separators of the resting look.
  EXPECT_GT(Brightness(normal.At(kMinimise.x, 12)), 220);  // the minimise bar
  EXPECT_GT(Brightness(normal.At(kClose.x - 1, 9)), 180);  // the middle of the ×

  MoveMouse(hwnd_, kMinimise.x, kMinimise.y);
  velmora::skin::SkinnedWindow& w = Record();
  EXPECT_TRUE(PumpUntil([&] { return w.fadeIn.step == 8; }, 2000));
  const Capture hover = Capture::OfScreen(hwnd_);
  // The top of the hovered button turns toward the theme colour; the others stay as they were.
  EXPECT_LT(Distance(hover.At(310, 3), kTheme), Distance(normal.At(310, 3), kTheme) - 40);
  EXPECT_TRUE(Near(hover.At(340, 3), normal.At(340, 3), 2));

  // Over to the close button: minimise fades out, close fades in (red).
  MoveMouse(hwnd_, kClose.x, kClose.y);
  EXPECT_TRUE(PumpUntil([&] { return w.fadeIn.button == 3 && w.fadeIn.step == 8; }, 2000));
  PumpUntil([&] { return w.fadeOut.button == 0 || w.fadeOut.step == 8; }, 2000);
  const Capture onClose = Capture::OfScreen(hwnd_);
  EXPECT_TRUE(Near(onClose.At(310, 3), normal.At(310, 3), 3)) << "the left button's fade-out reached alpha 0";
  EXPECT_GT(GetRValue(onClose.At(366, 3)), GetRValue(normal.At(366, 3)) + 60);

  // Pressed: a dark gradient (red for close) while the button is held.
  MoveMouse(hwnd_, kMaximise.x, kMaximise.y);
  PumpUntil([&] { return w.fadeIn.button == 2 && w.fadeIn.step == 8; }, 2000);
  const LONG_PTR before = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
  velmora::test::MouseDown();
  const Capture pressed = Capture::OfScreen(hwnd_);
  EXPECT_LT(Brightness(pressed.At(338, 2)), Brightness(normal.At(338, 2)) - 10);
  // Released elsewhere in the strip: nothing happens.
  MoveMouse(hwnd_, 200, 10);
  velmora::test::MouseUp();
  EXPECT_EQ(::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_MAXIMIZE, before & WS_MAXIMIZE);
  EXPECT_FALSE(::IsZoomed(hwnd_));

  // Leaving the block: the fade-out runs its 8 steps and the animation stops.
  MoveMouse(hwnd_, 200, 120);
  EXPECT_TRUE(PumpUntil([&] { return !w.timerRunning && w.hovered == 0 && w.fadeOut.button == 0; }, 2000));
  const Capture after = Capture::OfScreen(hwnd_);
  EXPECT_TRUE(Near(after.At(338, 3), normal.At(338, 3), 3));
}

TEST_F(SkinnedEditor, MinimiseMaximiseRestoreAndClose) {
  RECT original;
  ::GetWindowRect(hwnd_, &original);
  velmora::test::ClickAt(hwnd_, kMinimise.x, kMinimise.y);
  EXPECT_TRUE(PumpUntil([&] { return ::IsIconic(hwnd_) != FALSE; }));
  EXPECT_TRUE(Record().minimised);
  // A right-click on another effect while it is minimised (it has no taskbar button to find it
  // by) brings it back restored.
  ASSERT_EQ(velmora::test::Editors().Open({1, 4}, store_, owner_, conflicts_, [] {}), editor_);
  EXPECT_TRUE(PumpUntil([&] { return !::IsIconic(hwnd_) && ::IsWindowVisible(hwnd_); }));
  EXPECT_FALSE(Record().minimised);

  ::SetWindowPos(hwnd_, nullptr, original.left, original.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PumpMessages();
  velmora::test::ClickAt(hwnd_, kMaximise.x, kMaximise.y);
  ASSERT_TRUE(PumpUntil([&] { return ::IsZoomed(hwnd_) != FALSE; }));
  RECT maximised;
  ::GetWindowRect(hwnd_, &maximised);
  HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
  RECT bar{};
  if (taskbar) ::GetWindowRect(taskbar, &bar);
  EXPECT_EQ(maximised.left, 0);
  EXPECT_EQ(maximised.right, ::GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(maximised.bottom - maximised.top, ::GetSystemMetrics(SM_CYSCREEN) - (bar.bottom - bar.top));
  EXPECT_TRUE(Record().maximised);
  // The buttons moved to the new right edge; the stretched picture fills the window.
  const int width = maximised.right - maximised.left;
  EXPECT_FLOAT_EQ(Record().buttons[1].rect.x, static_cast<float>(width - 65));
  PumpMessages();
  const Capture big = Capture::OfScreen(hwnd_);
  EXPECT_LT(Brightness(big.At(width / 2, 20)), 150);
  EXPECT_GT(Brightness(big.At(width / 2, 300)), 200);

  velmora::test::ClickAt(hwnd_, width - 65 + 13, 10);  // now the restore button
  ASSERT_TRUE(PumpUntil([&] { return !::IsZoomed(hwnd_); }));
  RECT restored;
  ::GetWindowRect(hwnd_, &restored);
  EXPECT_EQ(restored.right - restored.left, kEditorWidth);
  EXPECT_EQ(restored.bottom - restored.top, kEditorHeight);
  EXPECT_FALSE(Record().maximised);

  // Close: the window goes, nothing is written.
  ::SetWindowTextW(editor_->Control(EditorWindow::kCaptionEdit), L"不保存");
  ::GetWindowRect(hwnd_, &restored);
  velmora::test::ClickAt(hwnd_, restored.right - restored.left - 19, 10);
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd_); }));
  EXPECT_EQ(store_.ReadValue(L"常用标题", L"3"), L"掌声");
  EXPECT_EQ(SkinEngine::Instance()->IndexOf(hwnd_), 0);
}

// Drags from another thread: the move loop owns this thread until the button is released.
struct DragPlan {
  POINT from, to;
  DWORD windowThread;
  HWND window;
  POINT origin;  // the window's top left before the drag
};

// Each step once the one before has arrived: the press taken (the drag runs), the window moved
// with the pointer.
DWORD WINAPI DragLater(LPVOID param) {
  const auto* plan = static_cast<const DragPlan*>(param);
  velmora::test::WaitFor([plan] { return velmora::test::PressTaken(plan->windowThread); }, 5000);
  for (int step = 1; step <= 5; ++step) {
    const POINT offset{(plan->to.x - plan->from.x) * step / 5, (plan->to.y - plan->from.y) * step / 5};
    ::SetCursorPos(plan->from.x + offset.x, plan->from.y + offset.y);
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    ::SendInput(1, &move, sizeof(move));
    velmora::test::WaitFor([plan, offset] {
      RECT now;
      ::GetWindowRect(plan->window, &now);
      return now.left == plan->origin.x + offset.x && now.top == plan->origin.y + offset.y;
    }, 2000);
  }
  INPUT up{};
  up.type = INPUT_MOUSE;
  up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ::SendInput(1, &up, sizeof(up));
  return 0;
}

TEST_F(SkinnedEditor, DraggedByTheCaptionAndByTheSurface) {
  for (POINT grip : {POINT{120, 12}, POINT{330, 170}}) {
    RECT start;
    ::GetWindowRect(hwnd_, &start);
    DragPlan plan{{start.left + grip.x, start.top + grip.y},
                  {start.left + grip.x - 60, start.top + grip.y + 40},
                  ::GetCurrentThreadId(),
                  hwnd_,
                  {start.left, start.top}};
    MoveMouse(hwnd_, grip.x, grip.y);
    HANDLE thread = ::CreateThread(nullptr, 0, DragLater, &plan, 0, nullptr);
    velmora::test::MouseDown();
    PumpUntil([&] { return ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 5000);
    ::CloseHandle(thread);
    PumpUntil([] { return !velmora::test::PressTaken(::GetCurrentThreadId()); });
    RECT moved;
    ::GetWindowRect(hwnd_, &moved);
    EXPECT_EQ(moved.left - start.left, -60) << "grip " << grip.x << "," << grip.y;
    EXPECT_EQ(moved.top - start.top, 40) << "grip " << grip.x << "," << grip.y;
    EXPECT_EQ(moved.right - moved.left, kEditorWidth);
  }
}

// What a press on the frame asks of the system, caught in front of the engine's procedure so
// no move or size loop starts.
struct FrameRequests {
  static inline WNDPROC frame = nullptr;
  static inline std::vector<WPARAM> sizing;
  static inline int moves = 0;
  static LRESULT CALLBACK Catch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_SIZE) {
      sizing.push_back(wParam);
      return 0;
    }
    if (message == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
      ++moves;
      return 0;
    }
    return ::CallWindowProcW(frame, hwnd, message, wParam, lParam);
  }
};

TEST_F(SkinnedEditor, PressesOnTheFrameMoveOrSizeAsTheZonesSay) {
  FrameRequests::frame = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameRequests::Catch)));
  const auto press = [this](int x, int y) {
    FrameRequests::sizing.clear();
    FrameRequests::moves = 0;
    ::SendMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::SendMessageW(hwnd_, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  };
  // Not resizable: the whole caption strip moves the window, even at its very edges.
  for (POINT p : {POINT{100, 10}, POINT{1, 1}, POINT{200, 2}, POINT{397, 24}}) {
    press(p.x, p.y);
    EXPECT_EQ(FrameRequests::moves, 1) << p.x << "," << p.y;
    EXPECT_TRUE(FrameRequests::sizing.empty());
  }
  // Below it, the edges and bottom corners still size the window.
  const struct {
    POINT p;
    WPARAM command;
  } zones[] = {{{2, 100}, SC_SIZE + 1},
               {{397, 100}, SC_SIZE + 2},
               {{200, 212}, SC_SIZE + 6},
               {{5, 208}, SC_SIZE + 7},
               {{394, 209}, SC_SIZE + 8}};
  for (const auto& zone : zones) {
    press(zone.p.x, zone.p.y);
    ASSERT_EQ(FrameRequests::sizing.size(), 1u) << zone.p.x << "," << zone.p.y;
    EXPECT_EQ(FrameRequests::sizing[0], zone.command);
    EXPECT_EQ(FrameRequests::moves, 0);
  }
  // Elsewhere below the caption the engine does nothing (the editor drags from there itself,
  // through its hit test); a press on a caption button neither moves nor sizes.
  press(200, 100);
  EXPECT_EQ(FrameRequests::moves + FrameRequests::sizing.size(), 0u);
  press(kMinimise.x, kMinimise.y + 2);
  EXPECT_EQ(FrameRequests::moves + FrameRequests::sizing.size(), 0u);
  // A double click on the caption does not maximise a window that is not resizable.
  ::SendMessageW(hwnd_, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 10));
  PumpMessages();
  EXPECT_FALSE(::IsZoomed(hwnd_));
  ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameRequests::frame));
}

TEST_F(SkinnedEditor, EscapeClosesWithoutSavingAndTitleRedrawsAtOnce) {
  const Capture before = Capture::OfScreen(hwnd_);
  ::SetWindowTextW(hwnd_, L"另一个标题也很长");
  const Capture after = Capture::OfScreen(hwnd_);  // no paint in between
  int changed = 0;
  for (int x = 29; x < 200; ++x)
    for (int y = 8; y < 22; ++y) changed += !Near(before.At(x, y), after.At(x, y), 10);
  EXPECT_GT(changed, 30);

  ::SetWindowTextW(editor_->Control(EditorWindow::kCaptionEdit), L"不保存");
  MSG escape{editor_->Control(EditorWindow::kCaptionEdit), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  EXPECT_TRUE(velmora::ui::HandleEscape(escape));
  PumpUntil([&] { return !::IsWindow(hwnd_); });
  EXPECT_FALSE(::IsWindow(hwnd_));
  EXPECT_EQ(store_.ReadValue(L"常用标题", L"3"), L"掌声");
}

TEST_F(SkinnedEditor, DestroyedWhileAnimatingAndOpenedAgainWithoutLeaks) {
  MoveMouse(hwnd_, kMinimise.x, kMinimise.y);
  ASSERT_TRUE(Record().timerRunning);
  ::DestroyWindow(hwnd_);  // mid-fade
  PumpUntil([] { return SkinEngine::Instance()->WindowCount() == 0 && SkinEngine::Instance()->SurfaceCount() == 0; });
  EXPECT_EQ(SkinEngine::Instance()->WindowCount(), 0);
  EXPECT_EQ(SkinEngine::Instance()->SurfaceCount(), 0u);

  const int gdi = velmora::test::GdiObjectCount();
  const int user = velmora::test::UserObjectCount();
  if (gdi < 0) GTEST_SKIP() << "GDI objects cannot be counted in this process; the 64-bit build checks them";
  for (int i = 0; i < 30; ++i) {
    EditorWindow* editor = velmora::test::Editors().Open({2, 1}, store_, owner_, conflicts_, [] {});
    ASSERT_NE(editor, nullptr);
    PumpMessages();
    MoveMouse(editor->Hwnd(), kClose.x, kClose.y);
    ::DestroyWindow(editor->Hwnd());
    PumpMessages();
  }
  EXPECT_LE(velmora::test::GdiObjectCount() - gdi, 3);
  EXPECT_LE(velmora::test::UserObjectCount() - user, 1);
  EXPECT_EQ(SkinEngine::Instance()->WindowCount(), 0);
}

// Windows of our own: the engine's rules on windows other than the editor.
LRESULT CALLBACK PlainProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND PlainWindow(DWORD style, int x) {
  WNDCLASSW cls{};
  cls.lpfnWndProc = PlainProcedure;
  cls.lpszClassName = L"VelmoraSkinPlain";
  cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  ::RegisterClassW(&cls);
  return ::CreateWindowExW(0, L"VelmoraSkinPlain", L"plain", WS_POPUP | WS_CLIPCHILDREN | style, x, 40, 300, 200,
                           nullptr, nullptr, nullptr, nullptr);
}

TEST(SkinEngineRules, OnlyCloseWithoutBoxesFaceColourRenumberingAndOwnerDrawnLeftAlone) {
  ASSERT_TRUE(velmora::test::StartSkinEngine());
  SkinEngine& engine = *SkinEngine::Instance();
  HWND first = PlainWindow(WS_MINIMIZEBOX, 20);
  HWND second = PlainWindow(0, 400);
  HWND button = ::CreateWindowExW(0, L"BUTTON", L"b", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 20, 60, 80, 26, second,
                                  nullptr, nullptr, nullptr);
  HWND drawn = ::CreateWindowExW(0, L"BUTTON", L"o", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 20, 100, 80, 26, second,
                                 nullptr, nullptr, nullptr);
  velmora::skin::SkinOptions small;
  small.captionHeight = 10;
  engine.SkinWindow(first, small);
  engine.SkinWindow(second);  // no picture: the face colour
  const int firstIndex = engine.IndexOf(first);
  const int secondIndex = engine.IndexOf(second);
  ASSERT_EQ(secondIndex, firstIndex + 1);
  EXPECT_EQ(engine.WindowAt(firstIndex)->captionHeight, 25);
  EXPECT_EQ(engine.WindowAt(firstIndex)->buttons.size(), 2u);
  ASSERT_EQ(engine.WindowAt(secondIndex)->buttons.size(), 1u);
  EXPECT_EQ(engine.WindowAt(secondIndex)->blockWidth, 41);
  EXPECT_EQ(engine.WindowAt(secondIndex)->averageColour, 0u);
  EXPECT_EQ(::GetPropW(drawn, L"Hw_lbID"), nullptr);
  EXPECT_NE(::GetPropW(button, L"Hw_lbID"), nullptr);

  ::ShowWindow(second, SW_SHOWNOACTIVATE);
  Capture shot = Capture::OfScreen(second);
  PumpUntil([&] { return Near((shot = Capture::OfScreen(second)).At(150, 150), ::GetSysColor(COLOR_BTNFACE), 1); });
  EXPECT_TRUE(Near(shot.At(150, 150), ::GetSysColor(COLOR_BTNFACE), 1));

  ::DestroyWindow(first);
  PumpMessages();
  EXPECT_EQ(engine.IndexOf(second), secondIndex - 1);
  EXPECT_EQ(::GetPropW(second, L"Hw_lbID"), reinterpret_cast<HANDLE>(static_cast<intptr_t>(secondIndex - 1)));
  EXPECT_EQ(::GetPropW(button, L"Hw_FuID"), reinterpret_cast<HANDLE>(static_cast<intptr_t>(secondIndex - 1)));
  ::DestroyWindow(second);
  EXPECT_EQ(engine.IndexOf(second), 0);
}

// A picture of solid halves, encoded as PNG.
velmora::skin::Picture HalvesPicture(int w, int h, Gdiplus::Color left, Gdiplus::Color right) {
  Gdiplus::Bitmap bitmap(w, h, PixelFormat32bppARGB);
  {
    Gdiplus::Graphics g(&bitmap);
    Gdiplus::SolidBrush a(left), b(right);
    g.FillRectangle(&a, 0, 0, w / 2, h);
    g.FillRectangle(&b, w / 2, 0, w - w / 2, h);
  }
  return velmora::skin::EncodePng(bitmap);
}

TEST(SkinPictures, AverageColourSamplesAndFadedEdges) {
  ASSERT_TRUE(velmora::test::StartSkinEngine());
  // The C runtime's generator: seeded with 1, its first number is 41.
  EXPECT_EQ(velmora::skin::SeededRandom(1), 41);
  EXPECT_EQ(velmora::skin::SeededRandom(0), 38);
  const auto p = velmora::skin::AverageColourSample(1, 100, 50);
  EXPECT_EQ(p.x, velmora::skin::SeededRandom(3) % 100);
  EXPECT_EQ(p.y, 41 % 50);

  const auto solid = HalvesPicture(64, 32, Gdiplus::Color(255, 10, 200, 30), Gdiplus::Color(255, 10, 200, 30));
  EXPECT_EQ(velmora::skin::AverageColour(solid, 2000), 0xFF0AC81Eu);
  const auto halves = HalvesPicture(100, 50, Gdiplus::Color(255, 255, 0, 0), Gdiplus::Color(255, 0, 0, 255));
  const Gdiplus::ARGB mixed = velmora::skin::AverageColour(halves, 2000);
  EXPECT_EQ(mixed, velmora::skin::AverageColour(halves, 2000));  // the same samples every time
  const int red = static_cast<int>((mixed >> 16) & 0xFF), blue = static_cast<int>(mixed & 0xFF);
  EXPECT_GT(red, 90);
  EXPECT_GT(blue, 90);
  EXPECT_LE(std::abs(red + blue - 255), 1);
  EXPECT_EQ(velmora::skin::AverageColour(velmora::skin::Picture("not a picture"), 2000), 0u);

  // A green picture faded into red on the right and at the bottom (band = 30 % of the width).
  const auto green = HalvesPicture(100, 60, Gdiplus::Color(255, 0, 255, 0), Gdiplus::Color(255, 0, 255, 0));
  for (auto side : {velmora::skin::FadeSide::Right, velmora::skin::FadeSide::Left}) {
    auto faded = velmora::skin::DecodePicture(velmora::skin::FadePictureEdges(green, 0xFFFF0000, side));
    ASSERT_NE(faded, nullptr);
    Gdiplus::Color c;
    const int edge = side == velmora::skin::FadeSide::Right ? 99 : 0;
    const int inside = side == velmora::skin::FadeSide::Right ? 20 : 79;
    faded->GetPixel(edge, 10, &c);
    EXPECT_GT(c.GetR(), 230);
    EXPECT_LT(c.GetG(), 30);
    faded->GetPixel(inside, 10, &c);
    EXPECT_EQ(c.GetValue(), 0xFF00FF00u);
    faded->GetPixel(50, 59, &c);  // the bottom band
    EXPECT_GT(c.GetR(), 200);
    faded->GetPixel(50, 20, &c);
    EXPECT_EQ(c.GetValue(), 0xFF00FF00u);
  }
  // Bytes that are no picture come back unchanged.
  EXPECT_EQ(velmora::skin::FadePictureEdges("junk", 0xFFFF0000, velmora::skin::FadeSide::Right), "junk");
}

}  // namespace
