// Push buttons, check boxes and radio buttons of a skinned window. Push buttons are owner-drawn,
// so the frame's WM_DRAWITEM paints them; check boxes and radio buttons keep their own logic and
// are painted here after every message that makes the platform draw its own look over ours.
// Every picture is composed on a copy of the window's background and copied to the screen once.
#include "base/Gdi.h"
#include "skin/Painters.h"
#include "skin/SkinEngine.h"

#include <string>

namespace velmora::skin {

namespace {

constexpr int kPushButton = 0, kRadioButton = 4, kCheckBox = 5;
constexpr int kBoxSize = 13;  // the check-box pictures
constexpr COLORREF kSilver = 0xC0C0C0;
constexpr COLORREF kGrey = 0x808080;
constexpr COLORREF kTeal = 0x808000;

// What a painter needs of a button's record, copied out: the record lives in a vector that a
// message passed on may change, and the window may be gone once it returns.
struct ButtonLook {
  int kind = kPushButton;
  std::wstring caption;
  std::wstring face;
  float size = 12;
  int style = 0;
};

bool LookOf(SkinEngine& engine, HWND button, ButtonLook& look) {
  const ControlRecord* record = engine.RecordOf(button, kButtons);
  if (!record) return false;
  look.kind = record->kind;
  look.caption = record->caption;
  look.face = record->fontFace;
  look.size = record->fontSize;
  look.style = record->fontStyle;
  return true;
}

COLORREF TextColour(HWND control) { return static_cast<COLORREF>(GetIntProp(control, property::kTextColour)); }

// The disabled look of all three kinds: opaque silver under a faint glossy rounded frame.
void PaintDisabled(Gdiplus::Graphics& g, const Gdiplus::GraphicsPath& rounded, int w, int h) {
  Gdiplus::SolidBrush silver(Argb(kSilver, 255));
  g.FillRectangle(&silver, 0, 0, w, h);
  auto gloss =
      VerticalGradient(Gdiplus::RectF(0, 0, static_cast<float>(w), static_cast<float>(h - 1)), White(50), White(50));
  const Gdiplus::Color stops[] = {White(50), Black(10), White(50)};
  const Gdiplus::REAL positions[] = {0.0f, 0.6f, 1.0f};
  gloss->SetInterpolationColors(stops, positions, 3);
  g.FillPath(gloss.get(), &rounded);
  Gdiplus::Pen edge(Black(80), 1);
  g.DrawPath(&edge, &rounded);
}

// The caption in the control's text colour, vertically centred in `box`.
void DrawButtonText(Gdiplus::Graphics& g, HWND button, const ButtonLook& look, const Gdiplus::RectF& box,
                    Gdiplus::StringAlignment alignment, Gdiplus::Unit unit) {
  if (look.caption.empty()) return;
  auto font = MakeFont(look.face, look.size, look.style, unit);
  Gdiplus::StringFormat format;
  format.SetAlignment(alignment);
  format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  Gdiplus::SolidBrush ink(Argb(TextColour(button), 255));
  g.DrawString(look.caption.c_str(), static_cast<INT>(look.caption.size()), font.get(), box, &format, &ink);
}

int CheckOf(HWND button) { return static_cast<int>(::SendMessageW(button, BM_GETCHECK, 0, 0)); }

void RememberCheck(SkinEngine& engine, HWND button, int check) {
  if (ControlRecord* record = engine.RecordOf(button, kButtons)) record->checkState = check;
}

// The state bits the platform would report, for paints the engine starts itself: a disabled
// button keeps its disabled look whatever the mouse or a state change asks for.
UINT WithWindowState(HWND button, UINT itemState) {
  return ::IsWindowEnabled(button) ? itemState : itemState | kStateDisabled;
}

void PaintCheckBox(SkinEngine& engine, HWND button, UINT itemState) {
  ButtonLook look;
  if (!LookOf(engine, button, look)) return;
  itemState = WithWindowState(button, itemState);
  PaintOverBackground(engine, button, nullptr, [&](Gdiplus::Graphics& g, int w, int h) {
    const int y0 = (h - kBoxSize) / 2;
    if (itemState & kStateDisabled) {
      Gdiplus::GraphicsPath rounded;
      RoundedRectPath(rounded, 0, 0, static_cast<float>(w - 1), static_cast<float>(h - 1), 5);
      PaintDisabled(g, rounded, w, h);
    } else {
      if (Gdiplus::Bitmap* empty = engine.GlyphPicture(Glyph::CheckEmpty))
        g.DrawImage(empty, 0, y0, static_cast<INT>(empty->GetWidth()), static_cast<INT>(empty->GetHeight()));
      const int check = CheckOf(button);
      RememberCheck(engine, button, check);
      // Only a plain tick shows the ticked picture; the third state keeps the empty box.
      if (check == BST_CHECKED) {
        if (Gdiplus::Bitmap* ticked = engine.GlyphPicture(Glyph::CheckTicked))
          g.DrawImage(ticked, 0, y0, static_cast<INT>(ticked->GetWidth()), static_cast<INT>(ticked->GetHeight()));
      }
    }
    if (itemState & kStateHot) {
      const float top = static_cast<float>((h - 12) / 2);
      auto shine = PointGradient(Gdiplus::PointF(3, top + 1), Gdiplus::PointF(11, top + 12),
                                 Argb(engine.ThemeColour(), 100), Black(0));
      g.FillRectangle(shine.get(), 0, y0, kBoxSize, kBoxSize);
      for (const float width : {1.0f, 2.0f}) {
        Gdiplus::Pen glow(Argb(engine.ThemeColour(), 30), width);
        g.DrawRectangle(&glow, 0, y0, kBoxSize, kBoxSize);
      }
    }
    DrawButtonText(g, button, look, Gdiplus::RectF(17, 0, static_cast<float>(w - 19), static_cast<float>(h)),
                   Gdiplus::StringAlignmentNear, Gdiplus::UnitPixel);
  });
}

void PaintRadioButton(SkinEngine& engine, HWND button, UINT itemState) {
  ButtonLook look;
  if (!LookOf(engine, button, look)) return;
  itemState = WithWindowState(button, itemState);
  PaintOverBackground(engine, button, nullptr, [&](Gdiplus::Graphics& g, int w, int h) {
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    if (itemState & kStateDisabled) {
      Gdiplus::GraphicsPath rounded;
      RoundedRectPath(rounded, 0, 0, static_cast<float>(w - 1), static_cast<float>(h - 1), 5);
      PaintDisabled(g, rounded, w, h);
    } else {
      const float top = static_cast<float>((h - 12) / 2);
      const Gdiplus::RectF ring(2, top, 12, 12);
      const Gdiplus::RectF inner(3, static_cast<float>((h - 11) / 2), 9, 9);
      Gdiplus::Pen outline(Black(200), 1);
      g.DrawEllipse(&outline, ring);
      Gdiplus::SolidBrush white(White(255));
      Gdiplus::Pen whitePen(White(255), 1);
      g.DrawEllipse(&whitePen, inner);
      g.FillEllipse(&white, inner);
      auto shade = PointGradient(Gdiplus::PointF(3, top), Gdiplus::PointF(13, top + 10), Black(100), Black(0));
      g.FillEllipse(shade.get(), inner);
      if (itemState & kStateHot) {
        auto shine = PointGradient(Gdiplus::PointF(3, top), Gdiplus::PointF(14, top + 11),
                                   Argb(engine.ThemeColour(), 100), Black(0));
        g.FillEllipse(shine.get(), inner);
        for (const float width : {1.0f, 2.0f}) {
          Gdiplus::Pen glow(Argb(engine.ThemeColour(), 30), width);
          g.DrawEllipse(&glow, inner);
        }
      }
      const int check = CheckOf(button);
      RememberCheck(engine, button, check);
      if (check == BST_CHECKED) {
        Gdiplus::GraphicsPath dot;
        dot.AddEllipse(Gdiplus::RectF(5, top + 3, 6, 6));
        Gdiplus::PathGradientBrush fill(&dot);
        fill.SetCenterColor(White(100));
        Gdiplus::Color rim = Argb(kTeal, 255);
        INT count = 1;
        fill.SetSurroundColors(&rim, &count);
        Gdiplus::Pen dotEdge(Black(200), 1);
        g.DrawPath(&dotEdge, &dot);
        g.FillPath(&fill, &dot);
      }
    }
    DrawButtonText(g, button, look, Gdiplus::RectF(18, 0, static_cast<float>(w - 18), static_cast<float>(h)),
                   Gdiplus::StringAlignmentNear, Gdiplus::UnitPixel);
  });
}

// Repaints a button outside WM_PAINT (hover changes), in the look of its kind.
void RedrawButton(SkinEngine& engine, HWND button, UINT itemState, bool hot) {
  ButtonLook look;
  if (!LookOf(engine, button, look)) return;
  itemState = WithWindowState(button, itemState);
  if (hot) itemState |= kStateHot;
  switch (look.kind) {
    case kPushButton:
      if (ScopedWindowDc dc(button); dc) {
        RECT client;
        ::GetClientRect(button, &client);
        PaintButton(engine, button, dc.Get(), itemState, client);
      }
      break;
    case kRadioButton:
      PaintRadioButton(engine, button, itemState);
      break;
    case kCheckBox:
      PaintCheckBox(engine, button, itemState);
      break;
    default:
      break;
  }
}

// Check boxes and radio buttons paint themselves; after a state change the platform has drawn
// its own look, which this covers again.
void PaintOwnLook(SkinEngine& engine, HWND button, int kind, UINT radioState) {
  if (kind == kRadioButton)
    PaintRadioButton(engine, button, radioState);
  else if (kind == kCheckBox)
    PaintCheckBox(engine, button, 0);
}

}  // namespace

void PaintButton(SkinEngine& engine, HWND button, HDC dc, UINT itemState, const RECT& rect) {
  ButtonLook look;
  if (!dc || !LookOf(engine, button, look)) return;
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0) return;
  const float fw = static_cast<float>(w), fh = static_cast<float>(h);
  const COLORREF theme = engine.ThemeColour();
  const BackgroundSurface surface(engine, button, rect);
  if (!surface) return;
  {
    Gdiplus::Graphics g(surface.Dc());
    Gdiplus::GraphicsPath rounded;
    RoundedRectPath(rounded, 0, 0, fw - 1, fh - 1, 5);
    Gdiplus::SolidBrush veil(White(120));
    g.FillPath(&veil, &rounded);
    if (itemState & kStateDisabled) {
      PaintDisabled(g, rounded, w, h);
    } else {
      auto body = VerticalGradient(Gdiplus::RectF(0, 0, fw, fh - 1), White(0), Argb(kGrey, 60));
      g.FillPath(body.get(), &rounded);
      Gdiplus::GraphicsPath upper;
      RoundedTopPath(upper, 0, 0, fw - 1, static_cast<float>(h / 2), 5);
      auto gloss = VerticalGradient(Gdiplus::RectF(0, 0, fw - 1, static_cast<float>(h / 2)), White(50), White(10));
      g.FillPath(gloss.get(), &upper);
      if (itemState & kStateHot) {
        auto tint = VerticalGradient(Gdiplus::RectF(0, 0, fw - 1, fh - 1), Argb(theme, 60), Argb(theme, 10));
        g.FillPath(tint.get(), &rounded);
        Gdiplus::Pen edge(Argb(theme, 255), 1);
        g.DrawPath(&edge, &rounded);
      } else if (itemState & kStateFocus) {
        for (const float width : {1.0f, 2.0f, 3.0f}) {
          Gdiplus::Pen glow(Argb(theme, 120), width);
          g.DrawPath(&glow, &rounded);
        }
        Gdiplus::Pen edge(Black(70), 1);
        g.DrawPath(&edge, &rounded);
      } else {
        Gdiplus::Pen edge(Black(120), 1);
        g.DrawPath(&edge, &rounded);
      }
      if (itemState & kStateSelected) {
        Gdiplus::GraphicsPath pressed;
        RoundedRectPath(pressed, 2, 2, fw - 3, fh - 3, 5);
        auto sink = VerticalGradient(Gdiplus::RectF(2, 2, fw - 3, fh - 3), Argb(theme, 60), White(100));
        g.FillPath(sink.get(), &pressed);
      }
    }
    DrawButtonText(g, button, look, Gdiplus::RectF(0, 2, fw, fh), Gdiplus::StringAlignmentCenter, Gdiplus::UnitWorld);
  }
  ::BitBlt(dc, rect.left, rect.top, w, h, surface.Dc(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK ButtonProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data) noexcept {
  const auto [record, owner, engine] = PainterTargetOf(data);
  const int kind = record.kind;
  const bool selfPainted = kind == kRadioButton || kind == kCheckBox;

  switch (message) {
    case WM_MOVE:
      ::InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      record.focused = message == WM_SETFOCUS;
      break;
    case WM_SETTEXT:
      record.caption = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
      break;
    case WM_PAINT:
      if (!selfPainted) break;  // the platform sends WM_DRAWITEM to the frame
      {
        const PaintScope paint(hwnd);
        PaintOwnLook(engine, hwnd, kind, 0);
      }
      return 0;
    case WM_ERASEBKGND: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetBkMode(dc, TRANSPARENT);
      return static_cast<LRESULT>(::SetTextColor(dc, static_cast<COLORREF>(GetIntProp(hwnd, property::kTextColour))));
    }
    case WM_NCPAINT:
      return 1;
    case WM_KEYDOWN:
      if (wParam != VK_SPACE) break;
      [[fallthrough]];
    case BM_SETCHECK:
    case WM_LBUTTONDOWN: {
      const LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
      if (selfPainted && ::IsWindow(hwnd)) PaintOwnLook(engine, hwnd, kind, kStateSelected);
      return result;
    }
    case WM_MOUSEMOVE: {
      if (BecomeHot(owner, hwnd, kHotButton)) RedrawButton(engine, hwnd, 0, true);
      break;
    }
    case WM_LBUTTONUP:
      owner.hotControl = nullptr;
      break;
    case WM_LBUTTONDBLCLK:
      return 0;  // a double click is one click and a stray press, nothing more
    case WM_MOUSELEAVE:
      LeaveHot(owner, hwnd);
      RedrawButton(engine, hwnd, record.focused ? kStateFocus : 0, false);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace velmora::skin
