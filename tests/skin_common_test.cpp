// The skinned slider, progress bars, up-down controls and header on a test window of our own:
// what they show on the screen in each state, that they still work as controls (positions,
// keyboard, notifications), and that painting them over and over holds no GDI or USER objects.
#include "skin/SkinEngine.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/SkinTesting.h"
#include "tests/support/WindowCapture.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

using velmora::skin::SkinEngine;
using velmora::test::Brightness;
using velmora::test::Capture;
using velmora::test::MouseDown;
using velmora::test::MouseUp;
using velmora::test::MoveMouse;
using velmora::test::PumpMessages;
using velmora::test::PumpUntil;

namespace {

constexpr wchar_t kWindowClass[] = L"VelmoraCommonControlsTest";
constexpr int kWindowX = 240, kWindowY = 160, kWindowW = 420, kWindowH = 320;

// How far a colour leans towards the theme colour 0xDDCA22 (red 0x22, green 0xCA, blue 0xDD):
// green and blue above red. About 0 for greys, 177 for the theme colour itself.
int Tint(COLORREF c) { return (GetGValue(c) + GetBValue(c)) / 2 - GetRValue(c); }

bool Dark(COLORREF c) { return Brightness(c) < 60; }

// What the test window's procedure has seen of its controls' notifications.
struct Notifications {
  int headerClicks = 0;
  int lastHeaderItem = -1;
  int sliderScrolls = 0;
  int upDownScrolls = 0;
};
Notifications g_seen;

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header && (header->code == HDN_ITEMCLICKW || header->code == HDN_ITEMCLICKA)) {
        ++g_seen.headerClicks;
        g_seen.lastHeaderItem = reinterpret_cast<const NMHEADERW*>(lParam)->iItem;
      }
      break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
      wchar_t cls[32] = L"";
      ::GetClassNameW(reinterpret_cast<HWND>(lParam), cls, 32);
      if (_wcsicmp(cls, TRACKBAR_CLASSW) == 0) ++g_seen.sliderScrolls;
      if (_wcsicmp(cls, UPDOWN_CLASSW) == 0) ++g_seen.upDownScrolls;
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

class CommonControlsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(velmora::test::StartSkinEngine());
    MoveMouse(::GetDesktopWindow(), 5, 795);
    static const bool registered = [] {
      INITCOMMONCONTROLSEX init{sizeof(init),
                                ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES};
      ::InitCommonControlsEx(&init);
      WNDCLASSW wc{};
      wc.lpfnWndProc = TestWindowProc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
      wc.lpszClassName = kWindowClass;
      return ::RegisterClassW(&wc) != 0;
    }();
    ASSERT_TRUE(registered);
    g_seen = {};
    hwnd_ = ::CreateWindowExW(0, kWindowClass, L"通用控件", WS_POPUP | WS_CLIPCHILDREN, kWindowX, kWindowY, kWindowW,
                              kWindowH, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd_, nullptr);
    const DWORD child = WS_CHILD | WS_VISIBLE;
    slider_ = Child(TRACKBAR_CLASSW, child | WS_TABSTOP | TBS_HORZ | TBS_NOTICKS, 20, 50, 220, 32);
    progress_ = Child(PROGRESS_CLASSW, child, 20, 100, 220, 18);
    verticalProgress_ = Child(PROGRESS_CLASSW, child | PBS_VERTICAL, 260, 50, 18, 120);
    upDown_ = Child(UPDOWN_CLASSW, child, 300, 50, 22, 40);
    horizontalUpDown_ = Child(UPDOWN_CLASSW, child | UDS_HORZ, 340, 50, 44, 22);
    header_ = Child(WC_HEADERW, child | HDS_BUTTONS | HDS_HORZ, 20, 200, 330, 26);
    ::SendMessageW(slider_, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
    ::SendMessageW(progress_, PBM_SETRANGE32, 0, 100);
    ::SendMessageW(verticalProgress_, PBM_SETRANGE32, 0, 100);
    for (HWND updown : {upDown_, horizontalUpDown_}) {
      ::SendMessageW(updown, UDM_SETRANGE32, 0, 100);
      ::SendMessageW(updown, UDM_SETPOS32, 0, 50);
    }
    const wchar_t* titles[] = {L"音效", L"热键", L"路径"};
    for (int i = 0; i < 3; ++i) {
      HDITEMW item{};
      item.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
      item.cxy = 110;
      item.fmt = HDF_LEFT | HDF_STRING;
      item.pszText = const_cast<wchar_t*>(titles[i]);
      ::SendMessageW(header_, HDM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    // A list view whose first column shows an image of its small-image list: a red square.
    listView_ = Child(WC_LISTVIEWW, child | LVS_REPORT, 20, 240, 330, 60);
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32, 1, 1);
    HDC screen = ::GetDC(nullptr);
    HBITMAP red = ::CreateCompatibleBitmap(screen, 16, 16);
    HDC dc = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(dc, red);
    RECT square{0, 0, 16, 16};
    HBRUSH brush = ::CreateSolidBrush(RGB(255, 0, 0));
    ::FillRect(dc, &square, brush);
    ::DeleteObject(brush);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    ImageList_Add(images, red, nullptr);
    ::DeleteObject(red);
    ::SendMessageW(listView_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));  // it owns it now
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_IMAGE;
    column.fmt = LVCFMT_LEFT | LVCFMT_IMAGE;
    column.cx = 150;
    column.pszText = const_cast<wchar_t*>(L"音效");
    column.iImage = 0;
    ::SendMessageW(listView_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    listHeader_ = reinterpret_cast<HWND>(::SendMessageW(listView_, LVM_GETHEADER, 0, 0));

    velmora::skin::SkinOptions options;
    options.resizable = false;
    SkinEngine::Instance()->SkinWindow(hwnd_, options);
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    ::UpdateWindow(hwnd_);
    PumpMessages();
  }

  void TearDown() override {
    MoveMouse(::GetDesktopWindow(), 5, 795);
    if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
    PumpMessages();
  }

  HWND Child(const wchar_t* cls, DWORD style, int x, int y, int w, int h) {
    return ::CreateWindowExW(0, cls, L"", style, x, y, w, h, hwnd_, nullptr, nullptr, nullptr);
  }

  // A control's rectangle in the window's client area.
  RECT Where(HWND control) const {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  // Puts the pointer on a point of a control (its client coordinates).
  void Hover(HWND control, int x, int y) {
    const RECT r = Where(control);
    MoveMouse(hwnd_, r.left + x, r.top + y);
  }
  // Takes the pointer away from the window and waits until every control has noticed (leaving
  // is found by polling the pointer, which can take a few hundred milliseconds).
  void LeaveAll() {
    MoveMouse(::GetDesktopWindow(), 5, 795);
    const std::pair<HWND, velmora::skin::ControlList> controls[] = {{slider_, velmora::skin::kSliders},
                                                                    {upDown_, velmora::skin::kUpDowns},
                                                                    {horizontalUpDown_, velmora::skin::kUpDowns},
                                                                    {header_, velmora::skin::kHeaders},
                                                                    {listHeader_, velmora::skin::kHeaders}};
    EXPECT_TRUE(PumpUntil([&] {
      for (const auto& [control, list] : controls) {
        const velmora::skin::ControlRecord* record = SkinEngine::Instance()->RecordOf(control, list);
        if (!record || record->hot) return false;
      }
      return true;
    }));
  }

  // Repaints what is pending and reads the screen.
  Capture Shot() {
    ::UpdateWindow(hwnd_);
    for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
      ::UpdateWindow(child);
    PumpMessages();
    return Capture::OfScreen(hwnd_);
  }

  // Mean tint of the pixels of `r` (window client coordinates) that are not part of an arrow.
  static double MeanTint(const Capture& shot, const RECT& r) {
    long long sum = 0, count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        const COLORREF c = shot.At(x, y);
        if (Dark(c)) continue;
        sum += Tint(c);
        ++count;
      }
    }
    return count ? static_cast<double>(sum) / static_cast<double>(count) : 0.0;
  }

  HWND hwnd_ = nullptr;
  HWND slider_ = nullptr, progress_ = nullptr, verticalProgress_ = nullptr;
  HWND upDown_ = nullptr, horizontalUpDown_ = nullptr, header_ = nullptr;
  HWND listView_ = nullptr, listHeader_ = nullptr;
};

using SkinCommonProgress = CommonControlsWindow;
using SkinCommonUpDown = CommonControlsWindow;
using SkinCommonSlider = CommonControlsWindow;
using SkinCommonHeader = CommonControlsWindow;
using SkinCommonLeaks = CommonControlsWindow;

TEST_F(SkinCommonProgress, TroughAtMinimumFilledToTheInsetAtMaximumHalfAtHalf) {
  const RECT bar = Where(progress_);
  const int w = bar.right - bar.left;
  const RECT column = Where(verticalProgress_);
  const int vh = column.bottom - column.top;
  // The fill runs from white across the bar to the full theme colour: look where it is strong,
  // near the bottom of a horizontal bar and the right of a vertical one.
  const int row = bar.bottom - 5;
  const int lane = column.right - 5;
  auto tinted = [](const Capture& shot, const RECT& r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += Tint(shot.At(x, y)) > 20;
    return n;
  };

  // At the minimum: only the frame and the grey trough, nothing of the theme colour.
  Capture shot = Shot();
  EXPECT_EQ(tinted(shot, bar), 0);
  EXPECT_EQ(tinted(shot, column), 0);
  const COLORREF rim = shot.At(bar.left + 1, row);

  // At the maximum the filled part, with its outline, covers everything inside the frame and
  // the trough's one-pixel rim: two pixels in from every side.
  ::SendMessageW(progress_, PBM_SETPOS, 100, 0);
  shot = Shot();
  for (int x = bar.left + 2; x <= bar.right - 3; ++x) EXPECT_GT(Tint(shot.At(x, row)), 60) << "x " << x - bar.left;
  for (int x : {bar.left, bar.left + 1, bar.right - 2, bar.right - 1})
    EXPECT_LT(Tint(shot.At(x, row)), 20) << "x " << x - bar.left;
  const int half = bar.left + w / 2;
  EXPECT_LT(Tint(shot.At(half, bar.top + 1)), 20);
  EXPECT_GT(Tint(shot.At(half, bar.top + 2)), 60);  // the outline along the top
  EXPECT_GT(Tint(shot.At(half, bar.bottom - 3)), 60);
  EXPECT_LT(Tint(shot.At(half, bar.bottom - 2)), 20);
  EXPECT_EQ(shot.At(bar.left + 1, row), rim);  // the trough's rim is untouched

  // At half: the left half of the inner length, from the left; a vertical bar from the bottom.
  ::SendMessageW(progress_, PBM_SETPOS, 50, 0);
  ::SendMessageW(verticalProgress_, PBM_SETPOS, 50, 0);
  shot = Shot();
  int count = 0, rightmost = 0;
  for (int x = bar.left; x < bar.right; ++x) {
    if (Tint(shot.At(x, row)) > 60) {
      ++count;
      rightmost = x - bar.left;
    }
  }
  EXPECT_NEAR(count, (w - 2) / 2, 4);
  EXPECT_NEAR(rightmost, (w - 2) / 2, 3);
  int topmost = vh, bottommost = 0;
  count = 0;
  for (int y = 0; y < vh; ++y) {
    if (Tint(shot.At(lane, column.top + y)) > 60) {
      ++count;
      topmost = std::min(topmost, y);
      bottommost = std::max(bottommost, y);
    }
  }
  EXPECT_NEAR(count, (vh - 2) / 2, 4);
  EXPECT_NEAR(topmost, vh / 2, 3);
  EXPECT_EQ(bottommost, vh - 3);
}

// The dark pixels of an arrow inside `r`: its bounding box and how many lie in each row and
// column of it.
struct Arrow {
  int count = 0;
  RECT box{10000, 10000, -1, -1};
  std::vector<int> rows, columns;
};

Arrow FindArrow(const Capture& shot, const RECT& r) {
  Arrow arrow;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      if (!Dark(shot.At(x, y))) continue;
      ++arrow.count;
      arrow.box.left = std::min<LONG>(arrow.box.left, x);
      arrow.box.top = std::min<LONG>(arrow.box.top, y);
      arrow.box.right = std::max<LONG>(arrow.box.right, x + 1);
      arrow.box.bottom = std::max<LONG>(arrow.box.bottom, y + 1);
    }
  }
  if (arrow.count == 0) return arrow;
  arrow.rows.assign(static_cast<size_t>(arrow.box.bottom - arrow.box.top), 0);
  arrow.columns.assign(static_cast<size_t>(arrow.box.right - arrow.box.left), 0);
  for (int y = arrow.box.top; y < arrow.box.bottom; ++y) {
    for (int x = arrow.box.left; x < arrow.box.right; ++x) {
      if (!Dark(shot.At(x, y))) continue;
      ++arrow.rows[static_cast<size_t>(y - arrow.box.top)];
      ++arrow.columns[static_cast<size_t>(x - arrow.box.left)];
    }
  }
  return arrow;
}

RECT TopHalf(const RECT& r) { return RECT{r.left, r.top, r.right, r.top + (r.bottom - r.top) / 2}; }
RECT BottomHalf(const RECT& r) { return RECT{r.left, r.top + (r.bottom - r.top) / 2, r.right, r.bottom}; }
RECT LeftHalf(const RECT& r) { return RECT{r.left, r.top, r.left + (r.right - r.left) / 2, r.bottom}; }
RECT RightHalf(const RECT& r) { return RECT{r.left + (r.right - r.left) / 2, r.top, r.right, r.bottom}; }

TEST_F(SkinCommonUpDown, VerticalShowsUpAndDownHorizontalLeftAndRight) {
  const Capture shot = Shot();
  const RECT vertical = Where(upDown_);
  const RECT horizontal = Where(horizontalUpDown_);

  const Arrow up = FindArrow(shot, TopHalf(vertical));
  ASSERT_EQ(up.count, 16);
  EXPECT_EQ(up.box.right - up.box.left, 7);
  EXPECT_EQ(up.rows, (std::vector<int>{1, 3, 5, 7}));  // the point at the top
  const Arrow down = FindArrow(shot, BottomHalf(vertical));
  ASSERT_EQ(down.count, 16);
  EXPECT_EQ(down.rows, (std::vector<int>{7, 5, 3, 1}));
  // Each centred in its half.
  const RECT top = TopHalf(vertical);
  EXPECT_NEAR((up.box.left + up.box.right) / 2.0, (top.left + top.right) / 2.0, 1.0);
  EXPECT_NEAR((up.box.top + up.box.bottom) / 2.0, (top.top + top.bottom) / 2.0, 1.0);

  const Arrow left = FindArrow(shot, LeftHalf(horizontal));
  ASSERT_EQ(left.count, 16);
  EXPECT_EQ(left.box.bottom - left.box.top, 7);
  EXPECT_EQ(left.columns, (std::vector<int>{1, 3, 5, 7}));  // the point on the left
  const Arrow right = FindArrow(shot, RightHalf(horizontal));
  ASSERT_EQ(right.count, 16);
  EXPECT_EQ(right.columns, (std::vector<int>{7, 5, 3, 1}));
}

TEST_F(SkinCommonUpDown, HoverPressAndLeaveOfAHalf) {
  const RECT r = Where(upDown_);
  const RECT top = TopHalf(r), bottom = BottomHalf(r);
  const RECT topInside{top.left + 2, top.top + 2, top.right - 2, top.bottom - 2};
  const RECT bottomInside{bottom.left + 2, bottom.top + 2, bottom.right - 2, bottom.bottom - 2};
  const int w = r.right - r.left;

  const Capture normal = Shot();
  Hover(upDown_, w / 2, 4);
  const Capture hot = Shot();
  // The hovered half turns towards the theme colour; the other one stays as it was.
  EXPECT_GT(MeanTint(hot, topInside), MeanTint(normal, topInside) + 8);
  EXPECT_NEAR(MeanTint(hot, bottomInside), MeanTint(normal, bottomInside), 2);
  EXPECT_GT(Tint(hot.At(top.left + w / 2, top.top)), Tint(normal.At(top.left + w / 2, top.top)) + 40);  // outline

  // Held down: the pressed look (theme colour at the top of the half) and one step up.
  const LRESULT before = ::SendMessageW(upDown_, UDM_GETPOS32, 0, 0);
  const int scrollsBefore = g_seen.upDownScrolls;
  MouseDown();
  const Capture pressed = Shot();
  EXPECT_GT(::SendMessageW(upDown_, UDM_GETPOS32, 0, 0), before);
  EXPECT_GT(g_seen.upDownScrolls, scrollsBefore);
  const int x = top.left + 3;
  EXPECT_GT(Tint(pressed.At(x, top.top + 2)), Tint(hot.At(x, top.top + 2)) + 15);
  MouseUp();
  const Capture released = Shot();
  EXPECT_NEAR(Tint(released.At(x, top.top + 2)), Tint(hot.At(x, top.top + 2)), 3);
  EXPECT_GT(::SendMessageW(upDown_, UDM_GETPOS32, 0, 0), before);

  // From the top half to the bottom one, then away.
  Hover(upDown_, w / 2, r.bottom - r.top - 4);
  const Capture lower = Shot();
  EXPECT_NEAR(MeanTint(lower, topInside), MeanTint(normal, topInside), 2);
  EXPECT_GT(MeanTint(lower, bottomInside), MeanTint(normal, bottomInside) + 8);
  LeaveAll();
  const Capture left = Shot();
  EXPECT_NEAR(MeanTint(left, topInside), MeanTint(normal, topInside), 2);
  EXPECT_NEAR(MeanTint(left, bottomInside), MeanTint(normal, bottomInside), 2);

  // The horizontal one: its right half lights up and a press there changes the position.
  const RECT h = Where(horizontalUpDown_);
  const RECT right = RightHalf(h);
  const RECT rightInside{right.left + 2, right.top + 2, right.right - 2, right.bottom - 2};
  const double rightNormal = MeanTint(left, rightInside);
  Hover(horizontalUpDown_, (h.right - h.left) * 3 / 4, (h.bottom - h.top) / 2 + 5);
  EXPECT_GT(MeanTint(Shot(), rightInside), rightNormal + 8);
  const LRESULT horizontalBefore = ::SendMessageW(horizontalUpDown_, UDM_GETPOS32, 0, 0);
  MouseDown();
  MouseUp();
  EXPECT_NE(::SendMessageW(horizontalUpDown_, UDM_GETPOS32, 0, 0), horizontalBefore);
  LeaveAll();
  EXPECT_NEAR(MeanTint(Shot(), rightInside), rightNormal, 2);
}

// The column of the thumb's left outline is darker than the slider just outside the thumb.
bool ThumbOutlineAt(const Capture& shot, int x, int y) {
  return Brightness(shot.At(x, y)) + 25 < Brightness(shot.At(x - 2, y));
}

TEST_F(SkinCommonSlider, HoverOutlinesTheThumbInTheThemeColour) {
  RECT thumb{};
  ::SendMessageW(slider_, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  const RECT r = Where(slider_);
  const int x = r.left + thumb.left, y = r.top + (thumb.top + thumb.bottom) / 2 - 4;

  const Capture normal = Shot();
  EXPECT_TRUE(ThumbOutlineAt(normal, x, y));
  // The frame's veil fades from white on the left towards grey on the right.
  const int middle = (r.top + r.bottom) / 2;
  EXPECT_GT(Brightness(normal.At(r.left + 3, middle - 8)), Brightness(normal.At(r.right - 4, middle - 8)) + 10);
  Hover(slider_, r.right - r.left - 10, (r.bottom - r.top) / 2);
  const Capture hot = Shot();
  EXPECT_GT(Tint(hot.At(x, y)), Tint(normal.At(x, y)) + 60);
  LeaveAll();
  EXPECT_NEAR(Tint(Shot().At(x, y)), Tint(normal.At(x, y)), 3);
}

TEST_F(SkinCommonSlider, ThumbFollowsThePositionAndTheKeyboard) {
  const RECT r = Where(slider_);
  auto thumbRect = [this] {
    RECT thumb{};
    ::SendMessageW(slider_, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    return thumb;
  };
  ::SendMessageW(slider_, TBM_SETPOS, TRUE, 20);
  Capture shot = Shot();
  const RECT at20 = thumbRect();
  const int y = r.top + (at20.top + at20.bottom) / 2 - 4;
  EXPECT_TRUE(ThumbOutlineAt(shot, r.left + at20.left, y));

  ::SendMessageW(slider_, TBM_SETPOS, TRUE, 80);
  shot = Shot();
  const RECT at80 = thumbRect();
  EXPECT_GT(at80.left, at20.left + 60);
  EXPECT_TRUE(ThumbOutlineAt(shot, r.left + at80.left, y));
  EXPECT_FALSE(ThumbOutlineAt(shot, r.left + at20.left, y));  // nothing left behind

  // The keyboard still moves it, with its notifications to the window.
  ::SetForegroundWindow(hwnd_);
  ::SetFocus(slider_);
  ASSERT_TRUE(PumpUntil([this] { return ::GetFocus() == slider_; }, 1000));
  const int scrolls = g_seen.sliderScrolls;
  velmora::test::TapKey(VK_RIGHT);
  EXPECT_TRUE(PumpUntil([this] { return ::SendMessageW(slider_, TBM_GETPOS, 0, 0) == 81; }, 1000));
  EXPECT_GT(g_seen.sliderScrolls, scrolls);
  velmora::test::TapKey(VK_END);
  EXPECT_TRUE(PumpUntil([this] { return ::SendMessageW(slider_, TBM_GETPOS, 0, 0) == 100; }, 1000));
  shot = Shot();
  const RECT atEnd = thumbRect();
  EXPECT_GT(atEnd.left, at80.left);
  EXPECT_TRUE(ThumbOutlineAt(shot, r.left + atEnd.left, y));
  EXPECT_FALSE(ThumbOutlineAt(shot, r.left + at80.left, y));

  // And the mouse: a click on the channel beside the thumb pages towards it.
  ::SendMessageW(slider_, TBM_SETPOS, TRUE, 20);
  velmora::test::ClickAt(hwnd_, r.left + (at80.left + at80.right) / 2, y);
  EXPECT_GT(::SendMessageW(slider_, TBM_GETPOS, 0, 0), 20);
  EXPECT_FALSE(ThumbOutlineAt(Shot(), r.left + at20.left, y));
}

TEST_F(SkinCommonHeader, TextsHoverPressAndClicks) {
  const RECT r = Where(header_);
  auto cell = [&](int i) {
    RECT item{};
    ::SendMessageW(header_, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    ::OffsetRect(&item, r.left, r.top);
    return item;
  };
  // The strip to the right of each title, where only the cell's own shading shows.
  auto shading = [&](int i) {
    const RECT item = cell(i);
    return RECT{item.left + 60, item.top + 2, item.right - 4, item.bottom - 2};
  };

  const Capture normal = Shot();
  for (int i = 0; i < 3; ++i) {
    const RECT item = cell(i);
    int dark = 0;
    for (int y = item.top; y < item.bottom; ++y)
      for (int x = item.left; x < item.left + 50; ++x) dark += Brightness(normal.At(x, y)) < 100;
    EXPECT_GT(dark, 8) << "item " << i;
  }

  Hover(header_, 110 + 80, 12);
  const Capture hot = Shot();
  EXPECT_GT(MeanTint(hot, shading(1)), MeanTint(normal, shading(1)) + 10);
  EXPECT_NEAR(MeanTint(hot, shading(0)), MeanTint(normal, shading(0)), 2);
  EXPECT_NEAR(MeanTint(hot, shading(2)), MeanTint(normal, shading(2)), 2);

  // Held down, the hovered cell turns the other way (strongest at the top); the click reaches the
  // window as the header's own notification.
  const RECT strip = shading(1);
  MouseDown();
  const Capture pressed = Shot();
  EXPECT_GT(Tint(pressed.At(strip.left, strip.top)), Tint(hot.At(strip.left, strip.top)) + 10);
  MouseUp();
  EXPECT_TRUE(PumpUntil([] { return g_seen.headerClicks == 1; }, 1000));
  EXPECT_EQ(g_seen.lastHeaderItem, 1);
  EXPECT_NEAR(Tint(Shot().At(strip.left, strip.top)), Tint(hot.At(strip.left, strip.top)), 3);

  LeaveAll();
  EXPECT_NEAR(MeanTint(Shot(), shading(1)), MeanTint(normal, shading(1)), 2);
}

TEST_F(SkinCommonHeader, ListViewHeaderShowsTheColumnImageBeforeTheText) {
  ASSERT_NE(listHeader_, nullptr);
  ASSERT_NE(SkinEngine::Instance()->RecordOf(listHeader_, velmora::skin::kHeaders), nullptr);
  const Capture shot = Shot();
  RECT item{};
  ::SendMessageW(listHeader_, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  ::MapWindowPoints(listHeader_, hwnd_, reinterpret_cast<POINT*>(&item), 2);
  RECT red{10000, 10000, -1, -1};
  int reds = 0;
  for (int y = item.top; y < item.bottom; ++y) {
    for (int x = item.left; x < item.right; ++x) {
      const COLORREF c = shot.At(x, y);
      if (GetRValue(c) < 200 || GetGValue(c) > 60 || GetBValue(c) > 60) continue;
      ++reds;
      red = RECT{std::min<LONG>(red.left, x), std::min<LONG>(red.top, y), std::max<LONG>(red.right, x + 1),
                 std::max<LONG>(red.bottom, y + 1)};
    }
  }
  EXPECT_EQ(reds, 256);  // the whole 16 × 16 image, nothing scaled
  const int margin = static_cast<int>(::SendMessageW(listHeader_, HDM_GETBITMAPMARGIN, 0, 0));
  EXPECT_EQ(red.left, item.left + margin);
  EXPECT_NEAR((red.top + red.bottom) / 2.0, (item.top + item.bottom) / 2.0, 1.0);
  int text = 0;
  for (int y = item.top; y < item.bottom; ++y)
    for (int x = red.right; x < item.right; ++x) text += Brightness(shot.At(x, y)) < 100;
  EXPECT_GT(text, 8);
  // On the engine's theme-shaded cell, not the platform's grey one.
  EXPECT_GT(MeanTint(shot, RECT{item.left + 70, item.top + 2, item.right - 4, item.bottom - 2}), 8);
}

TEST_F(SkinCommonLeaks, RepaintingHoldsNoObjects) {
  auto at = [](int x, int y) { return MAKELPARAM(x, y); };
  auto round = [&](int i) {
    ::SendMessageW(slider_, WM_MOUSEMOVE, 0, at(200, 16));
    ::SendMessageW(slider_, TBM_SETPOS, TRUE, i % 101);
    ::UpdateWindow(slider_);
    ::SendMessageW(slider_, WM_MOUSELEAVE, 0, 0);
    ::SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(i % 101), 0);
    ::SendMessageW(verticalProgress_, PBM_SETPOS, static_cast<WPARAM>(100 - i % 101), 0);
    ::UpdateWindow(progress_);
    ::UpdateWindow(verticalProgress_);
    for (HWND updown : {upDown_, horizontalUpDown_}) {
      ::SendMessageW(updown, WM_MOUSEMOVE, 0, at(3, 3));
      ::SendMessageW(updown, WM_LBUTTONDOWN, MK_LBUTTON, at(3, 3));
      ::SendMessageW(updown, WM_LBUTTONUP, 0, at(3, 3));
      ::SendMessageW(updown, WM_MOUSELEAVE, 0, 0);
      ::UpdateWindow(updown);
    }
    const int x = 110 * (i % 3) + 30;
    ::SendMessageW(header_, WM_MOUSEMOVE, 0, at(x, 10));
    ::SendMessageW(header_, WM_LBUTTONDOWN, MK_LBUTTON, at(x, 10));
    ::SendMessageW(header_, WM_LBUTTONUP, 0, at(x, 10));
    ::SendMessageW(header_, WM_MOUSELEAVE, 0, 0);
    ::UpdateWindow(header_);
    ::SendMessageW(listHeader_, WM_MOUSEMOVE, 0, at(30, 10));  // draws the column's image
    ::SendMessageW(listHeader_, WM_MOUSELEAVE, 0, 0);
    PumpMessages();
  };
  for (int i = 0; i < 10; ++i) round(i);  // caches of GDI, GDI+ and the controls settle first
  const int gdi = velmora::test::GdiObjectCount();
  const int user = velmora::test::UserObjectCount();
  if (gdi < 0) GTEST_SKIP() << "GDI objects cannot be counted in this process; the 64-bit build checks them";
  ASSERT_GT(gdi, 0);
  for (int i = 0; i < 120; ++i) round(i);
  EXPECT_LE(std::abs(velmora::test::GdiObjectCount() - gdi), 5);
  EXPECT_LE(std::abs(velmora::test::UserObjectCount() - user), 5);
  EXPECT_EQ(SkinEngine::Instance()->SurfaceCount(), 0u);
  // The controls went on working all along.
  EXPECT_EQ(::SendMessageW(slider_, TBM_GETPOS, 0, 0), 119 % 101);
  EXPECT_GE(g_seen.headerClicks, 130);
}

}  // namespace
