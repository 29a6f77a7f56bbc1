// Edit boxes, combo boxes and list-type controls of a skinned window: a white field with a thin
// frame that takes the theme colour under the mouse or with the focus. Edits and lists keep
// their own client drawing and get only their frame (the non-client area) from here; a combo
// box is drawn whole except for its edit part and its drop-down list. Scroll bars stay the
// platform's own.
#include "base/Window.h"
#include "base/Gdi.h"
#include "skin/Painters.h"
#include "skin/SkinEngine.h"

#include <optional>
#include <string>
#include <utility>

namespace velmora::skin {

namespace {

constexpr COLORREF kKeyColour = 0xFF00FF;  // left out by the final copy: what lies there shows through
constexpr int kComboButtonWidth = 18, kListComboButtonWidth = 17;

// A control's frame geometry in window coordinates: the whole window, its client area, and the
// client area widened by the visible scroll bars (the "inner" area the frame goes around).
struct FrameGeometry {
  int width = 0, height = 0;
  RECT client{};
  RECT inner{};
  RECT screen{};  // the window rectangle on the screen
  bool hasBars = false;
};

FrameGeometry GeometryOf(HWND control) {
  FrameGeometry geometry;
  ::GetWindowRect(control, &geometry.screen);
  geometry.width = geometry.screen.right - geometry.screen.left;
  geometry.height = geometry.screen.bottom - geometry.screen.top;
  RECT client;
  ::GetClientRect(control, &client);
  POINT origin{0, 0};
  ::ClientToScreen(control, &origin);
  geometry.client =
      RECT{origin.x - geometry.screen.left, origin.y - geometry.screen.top,
           origin.x - geometry.screen.left + client.right, origin.y - geometry.screen.top + client.bottom};
  geometry.inner = geometry.client;
  const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
  const std::pair<LONG, LONG_PTR> bars[] = {{OBJID_VSCROLL, WS_VSCROLL}, {OBJID_HSCROLL, WS_HSCROLL}};
  for (const auto& [object, bit] : bars) {
    if (!(style & bit)) continue;
    SCROLLBARINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetScrollBarInfo(control, object, &info)) continue;
    if (info.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN)) continue;
    RECT bar = info.rcScrollBar;
    ::OffsetRect(&bar, -geometry.screen.left, -geometry.screen.top);
    if (::IsRectEmpty(&bar)) continue;
    ::UnionRect(&geometry.inner, &geometry.inner, &bar);
    geometry.hasBars = true;
  }
  return geometry;
}

// An edit made with WS_BORDER alone draws that border in its own client area and has no
// non-client ring at all: there is nothing of a frame to paint then.
bool HasRing(const FrameGeometry& geometry) {
  const RECT whole{0, 0, geometry.width, geometry.height};
  return geometry.width > 0 && geometry.height > 0 && !::EqualRect(&geometry.inner, &whole);
}

Gdiplus::Rect ToRect(const RECT& r) { return Gdiplus::Rect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

// The frame of an edit or list: 1 pixel normally and with the focus, 2 pixels inside that when
// hot (hot wins over focused).
void DrawFrame(Gdiplus::Graphics& g, int w, int h, bool hot, bool focused, BYTE normalAlpha, BYTE themeAlpha) {
  const COLORREF theme = SkinEngine::kThemeColour;
  if (hot) {
    Gdiplus::Pen pen(Argb(theme, themeAlpha), 2);
    g.DrawRectangle(&pen, 1, 1, w - 2, h - 2);
  } else {
    Gdiplus::Pen pen(focused ? Argb(theme, themeAlpha) : Black(normalAlpha), 1);
    g.DrawRectangle(&pen, 0, 0, w - 1, h - 1);
  }
}

// The platform's non-client painting, kept to the scroll bars (and the corner between two of
// them): everything else of the non-client area is the engine's frame.
LRESULT PaintScrollBarsOnly(HWND control, const FrameGeometry& geometry) {
  if (!geometry.hasBars) return 0;
  RECT outer = geometry.inner, client = geometry.client;
  ::OffsetRect(&outer, geometry.screen.left, geometry.screen.top);
  ::OffsetRect(&client, geometry.screen.left, geometry.screen.top);
  const UniqueRegion bars(::CreateRectRgnIndirect(&outer));
  const UniqueRegion inside(::CreateRectRgnIndirect(&client));
  if (bars && inside && ::CombineRgn(bars.Get(), bars.Get(), inside.Get(), RGN_DIFF) != ERROR)
    return ::DefWindowProcW(control, WM_NCPAINT, reinterpret_cast<WPARAM>(bars.Get()), 0);
  return 0;
}

bool ClassIs(HWND hwnd, const wchar_t* name) {
  wchar_t cls[32] = L"";
  ::GetClassNameW(hwnd, cls, 32);
  return _wcsicmp(cls, name) == 0;
}

HWND DropDownListOf(HWND combo) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  return ::GetComboBoxInfo(combo, &info) ? info.hwndList : nullptr;
}

// The focus is the combo box's while it is on the combo itself, its edit part or its list.
bool FocusWithin(HWND combo, HWND focus) {
  return focus && (focus == combo || ::IsChild(combo, focus) || focus == DropDownListOf(combo));
}

bool HasBorder(HWND control) {
  const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
  const LONG_PTR exStyle = ::GetWindowLongPtrW(control, GWL_EXSTYLE);
  return (style & (WS_BORDER | WS_DLGFRAME)) != 0 ||
         (exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME)) != 0;
}

// A drop-down list and a list without a border keep the platform's look entirely.
bool ListGetsFrame(HWND list) { return !ClassIs(list, L"ComboLBox") && HasBorder(list); }

void PaintEditFrame(SkinEngine& engine, HWND edit, std::optional<bool> focused = {}, std::optional<bool> hot = {}) {
  const ControlRecord* record = engine.RecordOf(edit, kEdits);
  const SkinnedWindow* owner = record ? engine.OwnerOf(edit) : nullptr;
  if (!record || !owner) return;
  const bool isFocused = focused.value_or(record->focused);
  const bool isHot = hot.value_or(owner->hotControl == edit);
  const FrameGeometry geometry = GeometryOf(edit);
  const int w = geometry.width, h = geometry.height;
  if (!HasRing(geometry)) return;
  const BackgroundSurface surface(engine, edit, RECT{0, 0, w, h}, true);
  if (!surface) return;
  {
    Gdiplus::Graphics g(surface.Dc());
    Gdiplus::Region ring(Gdiplus::Rect(0, 0, w, h));
    ring.Xor(ToRect(geometry.inner));
    g.SetClip(&ring);
    g.Clear(White(255));
    g.ResetClip();
    DrawFrame(g, w, h, isHot, isFocused, 80, 180);
  }
  if (ScopedWindowDc dc(edit, true); dc) {
    ::ExcludeClipRect(dc.Get(), geometry.inner.left, geometry.inner.top, geometry.inner.right, geometry.inner.bottom);
    ::BitBlt(dc.Get(), 0, 0, w, h, surface.Dc(), 0, 0, SRCCOPY);
  }
}

void PaintCombo(SkinEngine& engine, HWND combo, bool hot, std::optional<bool> focused = {}) {
  const ControlRecord* record = engine.RecordOf(combo, kCombos);
  if (!record) return;
  const bool isFocused = focused.value_or(record->focused);
  RECT window;
  ::GetWindowRect(combo, &window);
  const int w = window.right - window.left, h = window.bottom - window.top;
  if (w <= 0 || h <= 0) return;
  const LONG_PTR style = ::GetWindowLongPtrW(combo, GWL_STYLE);
  const bool dropDownList = (style & CBS_DROPDOWNLIST) == CBS_DROPDOWNLIST;
  const int buttonWidth = dropDownList ? kListComboButtonWidth : kComboButtonWidth;
  const int buttonX = w - buttonWidth - 2;
  const COLORREF theme = engine.ThemeColour();
  const float fh = static_cast<float>(h), fu = static_cast<float>(buttonWidth), fx = static_cast<float>(buttonX);

  const BackgroundSurface surface(engine, combo, RECT{0, 0, w, h}, true);
  if (!surface) return;
  {
    Gdiplus::Graphics g(surface.Dc());
    g.Clear(White(255));
    // The edit part (and a simple combo's list) draw themselves: key them out.
    Gdiplus::SolidBrush key(Argb(kKeyColour, 255));
    for (HWND child = ::GetWindow(combo, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
      RECT r;
      ::GetWindowRect(child, &r);
      ::OffsetRect(&r, -window.left, -window.top);
      if (ClassIs(child, L"ComboLBox")) ::InflateRect(&r, -2, -2);
      g.FillRectangle(&key, ToRect(r));
      if (!(style & CBS_SIMPLE)) break;  // a drop-down combo: only its edit part
    }
    Gdiplus::Pen pen(hot || isFocused ? Argb(theme, 200) : Black(80), 1);
    g.DrawRectangle(&pen, 0, 0, w - 1, h - 1);
    if (style & CBS_DROPDOWN) {
      Gdiplus::GraphicsPath outline;
      RoundedRectPath(outline, fx, 2, fu - 1, fh - 5, 4);
      g.DrawPath(&pen, &outline);
      Gdiplus::GraphicsPath face;
      RoundedRectPath(face, fx + 1, 3, fu - 2, fh - 6, 1);
      const Gdiplus::RectF area(fx + 1, 3, fu - 2, fh - 6);
      auto fill = hot ? VerticalGradient(area, White(100), Argb(theme, 150))
                      : VerticalGradient(area, Argb(theme, 30), Argb(theme, 100));
      g.FillPath(fill.get(), &face);
      if (Gdiplus::Bitmap* arrow = engine.GlyphPicture(Glyph::ArrowDown))
        g.DrawImage(arrow, buttonX + (buttonWidth - 7) / 2, 2 + (h - 4 - 4) / 2, 7, 4);
    }
    if (dropDownList) {
      const std::wstring text = WindowText(combo);
      if (!text.empty()) {
        auto font = MakeFont(L"宋体", 12, Gdiplus::FontStyleRegular);
        Gdiplus::StringFormat format;
        format.SetAlignment(Gdiplus::StringAlignmentNear);
        format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
        Gdiplus::SolidBrush ink(Argb(static_cast<COLORREF>(GetIntProp(combo, property::kTextColour)), 255));
        g.DrawString(text.c_str(), static_cast<INT>(text.size()), font.get(), Gdiplus::RectF(4, 0, fx - 4, fh), &format,
                     &ink);
      }
    }
  }
  if (ScopedWindowDc dc(combo, true); dc) ::TransparentBlt(dc.Get(), 0, 0, w, h, surface.Dc(), 0, 0, w, h, kKeyColour);
}

void PaintListFrame(SkinEngine& engine, HWND list, bool hot, std::optional<bool> focused = {}) {
  const ControlRecord* record = engine.RecordOf(list, kLists);
  if (!record || !ListGetsFrame(list)) return;  // nothing of the engine's would show
  const bool isFocused = focused.value_or(record->focused);
  const FrameGeometry geometry = GeometryOf(list);
  const int w = geometry.width, h = geometry.height;
  if (!HasRing(geometry)) return;
  const BackgroundSurface surface(engine, list, RECT{0, 0, w, h}, true);
  if (!surface) return;
  {
    Gdiplus::Graphics g(surface.Dc());
    Gdiplus::Region ring(Gdiplus::Rect(0, 0, w, h));
    ring.Xor(ToRect(geometry.inner));
    g.SetClip(&ring);
    g.Clear(White(255));
    g.SetClip(ToRect(geometry.inner));
    g.Clear(Argb(kKeyColour, 255));
    g.ResetClip();
    DrawFrame(g, w, h, hot, isFocused, 90, 200);
  }
  if (ScopedWindowDc dc(list, true); dc) {
    ::ExcludeClipRect(dc.Get(), geometry.client.left, geometry.client.top, geometry.client.right,
                      geometry.client.bottom);
    ::TransparentBlt(dc.Get(), 0, 0, w, h, surface.Dc(), 0, 0, w, h, kKeyColour);
  }
}

// Whether the control is still the window's hot one. Repaints that the control itself starts
// (a combo's own hot tracking of its button, a list scrolled by the wheel under the pointer)
// keep the hot look instead of dropping it while the pointer is still there.
bool StillHot(const SkinnedWindow& owner, HWND control) { return owner.hotControl == control; }

}  // namespace

LRESULT CALLBACK EditProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR data) noexcept {
  const auto [record, owner, engine] = PainterTargetOf(data);

  switch (message) {
    case WM_SETFOCUS:
      record.focused = true;
      break;
    case WM_KILLFOCUS:
      record.focused = false;
      if (ClassIs(::GetParent(hwnd), L"ComboBox"))
        PaintEditFrame(engine, hwnd);
      else
        ::InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case WM_PAINT:
      PaintEditFrame(engine, hwnd);
      break;
    case WM_NCPAINT:
      PaintEditFrame(engine, hwnd);
      return PaintScrollBarsOnly(hwnd, GeometryOf(hwnd));
    case WM_MOUSEMOVE:
      if (BecomeHot(owner, hwnd, kHotEdit)) PaintEditFrame(engine, hwnd, {}, true);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      record.buttonDown = message == WM_LBUTTONDOWN;
      break;
    case WM_MOUSELEAVE:
      LeaveHot(owner, hwnd);
      PaintEditFrame(engine, hwnd, {}, false);
      break;
    case WM_DESTROY:
      // Brushes handed out for colour messages go with the edit.
      record.brush.Reset();
      record.brushBitmap.Reset();
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ComboProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR data) noexcept {
  const auto [record, owner, engine] = PainterTargetOf(data);

  switch (message) {
    case WM_MOVE:
      PaintCombo(engine, hwnd, StillHot(owner, hwnd));
      break;
    case WM_SETFOCUS:
      record.focused = true;
      PaintCombo(engine, hwnd, StillHot(owner, hwnd), true);
      break;
    case WM_KILLFOCUS:
      // A drop-down combo hands its focus straight on to its edit part; that is still the
      // combo's focus, which ends when the edit part loses it (EN_KILLFOCUS below).
      if (!FocusWithin(hwnd, reinterpret_cast<HWND>(wParam))) record.focused = false;
      break;
    case WM_COMMAND:
      if (lParam && ::GetParent(reinterpret_cast<HWND>(lParam)) == hwnd) {
        if (HIWORD(wParam) == EN_SETFOCUS && !record.focused) {
          record.focused = true;
          PaintCombo(engine, hwnd, StillHot(owner, hwnd), true);
        } else if (HIWORD(wParam) == EN_KILLFOCUS && !FocusWithin(hwnd, ::GetFocus())) {
          record.focused = false;
        }
      }
      break;
    case WM_SETTEXT:
      if (::FindWindowExW(hwnd, nullptr, L"Edit", nullptr)) ::InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case WM_PAINT: {
      const PaintScope paint(hwnd);
      PaintCombo(engine, hwnd, StillHot(owner, hwnd));
      return 0;
    }
    case WM_ERASEBKGND:
      ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return 1;
    case WM_NCPAINT:
      PaintCombo(engine, hwnd, StillHot(owner, hwnd));
      return ::DefWindowProcW(hwnd, WM_NCPAINT, static_cast<WPARAM>(-1), lParam);
    case WM_MOUSEMOVE: {
      if (BecomeHot(owner, hwnd, kHotCombo)) PaintCombo(engine, hwnd, true);
      break;
    }
    case WM_MOUSELEAVE:
      PaintCombo(engine, hwnd, false);
      LeaveHot(owner, hwnd);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ListProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR data) noexcept {
  const auto [record, owner, engine] = PainterTargetOf(data);

  switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      record.focused = message == WM_SETFOCUS;
      PaintListFrame(engine, hwnd, StillHot(owner, hwnd));
      break;
    case WM_PAINT:
      PaintListFrame(engine, hwnd, StillHot(owner, hwnd));
      break;
    case WM_NCPAINT:
      // A list the engine draws no frame for (a drop-down list) keeps the platform's whole.
      if (!ListGetsFrame(hwnd)) break;
      PaintListFrame(engine, hwnd, StillHot(owner, hwnd));
      return PaintScrollBarsOnly(hwnd, GeometryOf(hwnd));
    case WM_MOUSEMOVE:
      if (BecomeHot(owner, hwnd, kHotList)) PaintListFrame(engine, hwnd, true);
      break;
    case WM_MOUSELEAVE:
      LeaveHot(owner, hwnd);
      PaintListFrame(engine, hwnd, false);
      break;
    case WM_KEYUP:
      ::ReleaseCapture();
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace velmora::skin
