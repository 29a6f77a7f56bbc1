#include "skin/CaptionButtons.h"

#include "skin/SkinGeometry.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <optional>

namespace velmora::skin {

namespace {

// The close button's shape: a rectangle whose top-right corner follows the window's rounding.
void CloseShape(Gdiplus::GraphicsPath& path, float x, float y, float w, float h) {
  path.AddLine(x, y, x + w - 5, y);
  path.AddArc(x + w - 5, y, 5.0f, 5.0f, 270.0f, 90.0f);
  path.AddLine(x + w, y + 5, x + w, y + h);
  path.AddLine(x + w, y + h, x, y + h);
  path.CloseFigure();
}

// Where and what one button draws: its rectangle a pixel to the left of where it hit-tests.
struct ButtonFace {
  float x, y, width, height;
  bool close;
  Gdiplus::Bitmap* glyph;
};

void ButtonShape(Gdiplus::GraphicsPath& shape, const ButtonFace& f) {
  if (f.close)
    CloseShape(shape, f.x, f.y, f.width, f.height);
  else
    shape.AddRectangle(Gdiplus::RectF(f.x, f.y, f.width, f.height));
}

void DrawGlyph(Gdiplus::Graphics& g, const ButtonFace& f) {
  if (f.glyph) g.DrawImage(f.glyph, Gdiplus::RectF(f.x, f.y, f.width - 1, f.height));
}

// Held down: a darker face, red for close.
void PaintPressed(Gdiplus::Graphics& g, const ButtonFace& f) {
  Gdiplus::GraphicsPath shape;
  ButtonShape(shape, f);
  const Gdiplus::RectF area(f.x, f.y, f.width, f.height);
  auto fill = f.close ? VerticalGradient(area, Gdiplus::Color(255, 255, 0, 0), White(30))
                      : VerticalGradient(area, Black(80), White(5));
  g.FillPath(fill.get(), &shape);
  DrawGlyph(g, f);
}

// The resting look with the hover highlight at `alpha` (0: none) over it.
void PaintHover(Gdiplus::Graphics& g, const ButtonFace& f, BYTE alpha) {
  const float x = f.x, y = f.y, width = f.width, height = f.height;
  const Gdiplus::RectF area(x, y, width, height);
  Gdiplus::GraphicsPath top;
  RoundedTopPath(top, x, y, width, height, 1);
  auto shade = VerticalGradient(area, Black(static_cast<BYTE>(alpha / 5)), White(0));
  g.FillPath(shade.get(), &top);
  if (f.close) {
    Gdiplus::GraphicsPath shape;
    ButtonShape(shape, f);
    auto red = VerticalGradient(area, Gdiplus::Color(alpha, 255, 0, 0), White(0));
    g.FillPath(red.get(), &shape);
  } else {
    auto theme = VerticalGradient(area, Argb(SkinEngine::kThemeColour, alpha), White(0));
    g.FillPath(theme.get(), &top);
  }
  Gdiplus::GraphicsPath upper;
  if (f.close)
    CloseShape(upper, x, y, width, height);
  else
    RoundedTopPath(upper, x, y, width, 0.8f * height, 1);
  auto edge = VerticalGradient(Gdiplus::RectF(x, y, width, f.close ? height : 0.8f * height),
                               White(static_cast<BYTE>(0.8 * alpha)), White(0));
  Gdiplus::Pen pen(edge.get(), 1);
  g.DrawPath(&pen, &upper);
  auto sheen = VerticalGradient(Gdiplus::RectF(x - 1, y, width + 1, height - 1), White(50), Black(0));
  g.FillRectangle(sheen.get(), Gdiplus::RectF(x - 1, y, width + 1, height - 1));
  DrawGlyph(g, f);
}

}  // namespace

namespace {

// Each kind's picture (and the maximise button's second one, shown while maximised) and tooltip.
struct CaptionButtonLook {
  int kind;
  Glyph picture;
  std::optional<Glyph> second;
  const wchar_t* tooltip;
};
const CaptionButtonLook& LookOf(int kind) {
  static const CaptionButtonLook kLooks[] = {
      {kHelpButton, Glyph::Help, std::nullopt, L"帮助"},
      {kMenuButton, Glyph::Menu, std::nullopt, L"主菜单"},
      {kMinimiseButton, Glyph::Minimise, std::nullopt, L"最小化"},
      {kMaximiseButton, Glyph::Maximise, Glyph::Restore, L"最大化"},
      {-1, Glyph::Close, std::nullopt, L"关闭"},  // any other: the close button
  };
  for (const CaptionButtonLook& look : kLooks)
    if (look.kind == kind) return look;
  return kLooks[std::size(kLooks) - 1];
}

}  // namespace

std::vector<CaptionButton> MakeCaptionButtons(bool help, bool menu, bool minimise, bool maximise) {
  std::vector<CaptionButton> buttons;
  for (const int kind : CaptionButtonKinds(help, menu, minimise, maximise)) {
    CaptionButton& button = buttons.emplace_back();
    button.kind = kind;
    button.width = CaptionButtonWidth(kind);
    const CaptionButtonLook& look = LookOf(kind);
    button.picture = look.picture;
    button.secondPicture = look.second;
    button.tooltip = look.tooltip;
  }
  return buttons;
}

HWND CreateCaptionTooltips(HWND frame, std::vector<CaptionButton>& buttons) {
  HWND tooltip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, frame, nullptr, nullptr, nullptr);
  for (size_t i = 0; i < buttons.size(); ++i) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = frame;
    tool.uId = i + 1;
    tool.lpszText = buttons[i].tooltip.data();
    ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  return tooltip;
}

void SkinEngine::LayoutCaptionButtons(int index) {
  SkinnedWindow* w = WindowAt(index);
  if (!w || !w->hwnd) return;
  RECT client;
  ::GetClientRect(w->hwnd, &client);
  w->blockX = CaptionBlockX(client.right, w->blockWidth);
  w->blockHeight = kCaptionBlockHeight;
  for (size_t i = 0; i < w->buttons.size(); ++i) {
    CaptionButton& button = w->buttons[i];
    button.rect = CaptionButtonRect(w->blockX, static_cast<int>(i) + 1, button.kind);
    if (!w->tooltip) continue;
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = w->hwnd;
    tool.uId = i + 1;
    tool.rect = RECT{static_cast<LONG>(button.rect.x), static_cast<LONG>(button.rect.y),
                     static_cast<LONG>(button.rect.x + button.rect.width),
                     static_cast<LONG>(button.rect.y + button.rect.height)};
    tool.lpszText = button.tooltip.data();
    ::SendMessageW(w->tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(w->tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

int SkinEngine::HitTestCaptionButton(int index, int x, int y) {
  SkinnedWindow* w = WindowAt(index);
  if (!w) return 0;
  std::vector<FloatRect> rects;
  for (const CaptionButton& b : w->buttons) rects.push_back(b.rect);
  return skin::HitTestCaptionButton(rects, w->blockX, w->blockY, w->blockHeight, static_cast<float>(x),
                                    static_cast<float>(y));
}

int SkinEngine::FindMaximiseButton(int index) {
  SkinnedWindow* w = WindowAt(index);
  if (!w) return 0;
  for (size_t i = 0; i < w->buttons.size(); ++i)
    if (w->buttons[i].kind == kMaximiseButton) return static_cast<int>(i) + 1;
  return 0;
}

void SkinEngine::DrawSeparators(SkinnedWindow& w, Gdiplus::Graphics& g, int button) {
  const auto line = [&g](float x, float top, float bottom, BYTE alpha) {
    auto brush = VerticalGradient(Gdiplus::RectF(x, top, 1, bottom - top), Black(alpha), Black(0));
    Gdiplus::Pen pen(brush.get(), 1);
    g.DrawLine(&pen, x, top, x, bottom);
  };
  const CaptionButton& b = w.buttons[static_cast<size_t>(button - 1)];
  const float x = b.rect.x - 1;
  line(x, b.rect.y + 1, b.rect.y + b.rect.height - 4, button == 1 ? 100 : 60);
  if (button < static_cast<int>(w.buttons.size())) {
    const CaptionButton& next = w.buttons[static_cast<size_t>(button)];
    line(next.rect.x - 1 - 2, next.rect.y + 1, next.rect.y + next.rect.height - 4, 60);
  }
}

void SkinEngine::DrawCaptionButton(int index, int button, bool fromBuffer, bool pressed, int alpha) {
  SkinnedWindow* found = WindowAt(index);
  if (!found || !found->backBuffer.Dc() || button < 1 || button > static_cast<int>(found->buttons.size())) return;
  SkinnedWindow& w = *found;
  const CaptionButton& b = w.buttons[static_cast<size_t>(button - 1)];
  const Glyph glyph = b.kind == kMaximiseButton && w.maximised && b.secondPicture ? *b.secondPicture : b.picture;
  const ButtonFace face{b.rect.x - 1,           b.rect.y,           b.rect.width, b.rect.height,
                        b.kind == kCloseButton, GlyphPicture(glyph)};
  // The pressed look stays within the button; the resting one also redraws the separators, a
  // pixel either side and one below.
  const int x = static_cast<int>(face.x) - (pressed ? 0 : 1);
  const int y = static_cast<int>(face.y);
  const int width = static_cast<int>(face.width) + (pressed ? 0 : 2);
  const int height = static_cast<int>(face.height) + (pressed ? 0 : 1);
  RestoreFromCache(w, x, y, width, height);
  {
    Gdiplus::Graphics g(w.backBuffer.Dc());
    if (pressed) {
      PaintPressed(g, face);
    } else {
      PaintHover(g, face, static_cast<BYTE>(std::clamp(alpha, 0, 255)));
      DrawSeparators(w, g, button);
    }
  }
  if (!fromBuffer) CopyToScreen(w, x, y, width, height);
}

void SkinEngine::CaptionButtonAction(int index, int button) {
  SkinnedWindow* w = WindowAt(index);
  if (!w || button < 1 || button > static_cast<int>(w->buttons.size())) return;
  const HWND hwnd = w->hwnd;
  switch (w->buttons[static_cast<size_t>(button - 1)].kind) {
    case kCloseButton:
      ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    case kMaximiseButton:
      w->fullRepaint = true;
      if (w->maximised) {
        w->minimised = false;
        w->maximised = false;
        ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
      } else {
        w->maximised = true;
        w->minimised = false;
        ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
      }
      break;
    case kMinimiseButton:
      w->minimised = true;
      ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      break;
    default:
      break;  // help, main menu and custom buttons have no callbacks in this program
  }
}

void SkinEngine::TrackCaptionHover(int index, SkinnedWindow& w, POINT point) {
  const bool inBlock = InCaptionBlock(w.blockX, w.blockY, w.blockWidth, w.blockHeight, point.x, point.y);
  if (inBlock && !w.timerRunning) {
    ::SetTimer(w.hwnd, reinterpret_cast<UINT_PTR>(w.hwnd), 20, nullptr);
    w.timerRunning = true;
  } else if (!inBlock) {
    w.timerRunning = false;  // the timer ticks on until the fade-out has ended
  }
  const int hit = HitTestCaptionButton(index, point.x, point.y);
  pressedButton_ = hit;
  const int was = w.hovered;
  if (was >= 1 && was != hit) {
    if (w.fadeOut.button && w.fadeOut.step < kFadeSteps) DrawCaptionButton(index, w.fadeOut.button, false, false, 0);
    w.fadeOut = FadeRecord{was, 0};
  }
  if (hit >= 1 && hit != was) w.fadeIn = FadeRecord{hit, 0};
  w.hovered = hit;
}

void SkinEngine::EndCaptionHover(int index, SkinnedWindow& w) {
  if (!w.hovered) return;
  if (w.fadeIn.step <= kFadeSteps - 1 && w.fadeOut.step <= kFadeSteps - 1) {
    if (w.fadeIn.button) DrawCaptionButton(index, w.fadeIn.button, false, false, 0);
    w.fadeIn = {};
  }
  w.fadeOut = FadeRecord{w.hovered, 0};
  w.hovered = 0;
}

void SkinEngine::StepCaptionFade(int index, SkinnedWindow& w) {
  if (w.fadeIn.button && w.fadeIn.step <= kFadeSteps - 1) {
    ++w.fadeIn.step;
    DrawCaptionButton(index, w.fadeIn.button, false, false, FadeInAlpha(w.fadeIn.step));
  }
  if (w.fadeOut.button && w.fadeOut.step <= kFadeSteps - 1) {
    ++w.fadeOut.step;
    DrawCaptionButton(index, w.fadeOut.button, false, false, FadeOutAlpha(w.fadeOut.step));
  }
  POINT cursor;
  ::GetCursorPos(&cursor);
  ::ScreenToClient(w.hwnd, &cursor);
  const bool overBlock = InCaptionBlock(w.blockX, w.blockY, w.blockWidth, w.blockHeight, cursor.x, cursor.y);
  const bool fadeOutDone = !w.fadeOut.button || w.fadeOut.step > kFadeSteps - 1;
  if ((!w.mouseInside || !overBlock) && fadeOutDone) {
    w.timerRunning = false;
    ::KillTimer(w.hwnd, reinterpret_cast<UINT_PTR>(w.hwnd));
    w.hovered = 0;
    w.fadeIn = {};
    w.fadeOut = {};
  }
}

}  // namespace velmora::skin
