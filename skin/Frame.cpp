// The skinned window itself: its procedure, the composed background, border and caption strip,
// the caption buttons with their hover fade, dragging, sizing, maximise and minimise.
#include "base/Gdi.h"
#include "base/WorkingSet.h"
#include "base/Window.h"
#include "skin/Painters.h"
#include "skin/SkinEngine.h"

#include <commctrl.h>
#include <windowsx.h>

namespace velmora::skin {

namespace {

int TaskbarHeight() {
  HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
  RECT r{};
  return taskbar && ::GetWindowRect(taskbar, &r) ? r.bottom - r.top : 0;
}

// The close button's shape: a rectangle whose top-right corner follows the window's rounding.
void CloseShape(Gdiplus::GraphicsPath& path, float x, float y, float w, float h) {
  path.AddLine(x, y, x + w - 5, y);
  path.AddArc(x + w - 5, y, 5.0f, 5.0f, 270.0f, 90.0f);
  path.AddLine(x + w, y + 5, x + w, y + h);
  path.AddLine(x + w, y + h, x, y + h);
  path.CloseFigure();
}

ScopedWindowDc ScreenDc(HWND hwnd) {
  return ScopedWindowDc(hwnd, ::GetDCEx(hwnd, nullptr, DCX_CACHE | DCX_CLIPCHILDREN | DCX_CLIPSIBLINGS));
}

}  // namespace

LRESULT CALLBACK SkinEngine::FrameProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR engine) noexcept {
  SkinEngine& self = *reinterpret_cast<SkinEngine*>(engine);
  const int index = self.IndexOf(hwnd);
  if (!index) return ::DefSubclassProc(hwnd, message, wParam, lParam);
  return self.Frame(index, hwnd, message, wParam, lParam);
}

LRESULT SkinEngine::Frame(int index, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  SkinnedWindow& w = *WindowAt(index);
  switch (message) {
    case WM_SIZE:
      w.hovered = 0;
      if (firstResize_)
        firstResize_ = false;
      else
        w.fullRepaint = true;
      break;
    case WM_SETTEXT:
      if (w.captionEnabled && w.captionText && lParam) {
        const std::wstring text = reinterpret_cast<const wchar_t*>(lParam);
        DrawCaption(index, false, &text);
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      ::BeginPaint(hwnd, &ps);
      if (!w.minimised) {
        if (w.fullRepaint)
          RepaintFrame(index, true);
        else
          BlitFrame(index);
      }
      ::EndPaint(hwnd, &ps);
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    case WM_ERASEBKGND:
      ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return 1;
    case WM_SHOWWINDOW:
      if (wParam == 1) {
        if (w.minimised) {
          w.minimised = false;
        } else {
          PAINTSTRUCT ps;
          ::BeginPaint(hwnd, &ps);
          RepaintFrame(index, true);
          ::EndPaint(hwnd, &ps);
        }
      }
      break;
    case WM_QUERYOPEN:
      w.minimised = false;
      break;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MAXIMIZE:
          w.maximised = true;
          w.fullRepaint = true;
          break;
        case SC_RESTORE:
          w.fullRepaint = true;
          w.minimised = false;
          break;
        case SC_MINIMIZE:
          w.fullRepaint = true;
          w.minimised = true;
          break;
        default:
          break;
      }
      break;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      const int screenW = ::GetSystemMetrics(SM_CXSCREEN);
      const int screenH = ::GetSystemMetrics(SM_CYSCREEN);
      info->ptMinTrackSize = POINT{w.minTrack.cx, w.minTrack.cy};
      info->ptMaxTrackSize = w.maximised ? POINT{screenW, screenH - TaskbarHeight()} : POINT{screenW, screenH};
      break;
    }
    case WM_WINDOWPOSCHANGED: {
      RECT client;
      ::GetClientRect(hwnd, &client);
      const int screenW = ::GetSystemMetrics(SM_CXSCREEN);
      const int screenH = ::GetSystemMetrics(SM_CYSCREEN);
      if (w.maximiseBox && client.right == screenW && client.bottom == screenH) {
        // Maximised over the whole screen: leave the taskbar visible.
        w.maximised = true;
        const int height = screenH - TaskbarHeight();
        RECT window;
        ::GetWindowRect(hwnd, &window);
        if (window.left != 0 || window.top != 0 || window.bottom - window.top != height)
          ::SetWindowPos(hwnd, nullptr, 0, 0, screenW, height, SWP_NOZORDER | SWP_NOOWNERZORDER);
      }
      LayoutCaptionButtons(index);
      break;
    }
    case WM_ACTIVATEAPP:
      if (wParam == 0) StartWorkingSetTrim();
      break;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item && item->CtlType == ODT_BUTTON && GetIntProp(item->hwndItem, property::kIndex) > 0) {
        if (const ControlRecord* record = RecordOf(item->hwndItem, kButtons); record && record->kind == 0)
          PaintButton(*this, item->hwndItem, item->hDC, item->itemState, item->rcItem);
      }
      break;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header && (static_cast<int>(header->code) == -405 || static_cast<int>(header->code) == -406))
        ::InvalidateRect(header->hwndFrom, nullptr, TRUE);  // a tree view item expanding or expanded
      break;
    }
    case WM_MOUSEMOVE: {
      const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (!w.mouseInside) {
        TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, hwnd, 1};
        ::TrackMouseEvent(&track);
      }
      if (!w.maximised) {
        RECT client;
        ::GetClientRect(hwnd, &client);
        UpdateResizeCursor(index, point, client);
      }
      if (w.captionEnabled) OnMouseMove(index, w, point);
      break;
    }
    case WM_MOUSEHOVER:
      w.mouseInside = true;
      break;
    case WM_MOUSELEAVE:
      w.mouseInside = false;
      if (w.hovered && w.captionEnabled) {
        if (w.fadeIn.step <= kFadeSteps - 1 && w.fadeOut.step <= kFadeSteps - 1) {
          if (w.fadeIn.button) DrawCaptionButton(index, w.fadeIn.button, false, false, 0);
          w.fadeIn = {};
        }
        w.fadeOut = FadeRecord{w.hovered, 0};
        w.hovered = 0;
      }
      break;
    case WM_TIMER:
      if (wParam == reinterpret_cast<WPARAM>(hwnd)) OnAnimationTimer(w, index);
      break;
    case WM_LBUTTONDOWN:
      if (w.captionEnabled) {
        const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (!w.maximised && !w.minimised) {
          RECT client;
          ::GetClientRect(hwnd, &client);
          BeginResizeOrDrag(index, point, client);
        }
        if (SkinnedWindow* still = WindowAt(index); still && still->hwnd == hwnd) {
          pressedButton_ = HitTestCaptionButton(index, point.x, point.y);
          if (pressedButton_ >= 1) DrawCaptionButton(index, pressedButton_, false, true, 0);
        }
      }
      break;
    case WM_LBUTTONUP:
      if (pressedButton_ >= 1 && pressedButton_ <= static_cast<int>(w.buttons.size()) && w.captionEnabled)
        CaptionButtonAction(index, pressedButton_);
      if (!::IsWindow(hwnd)) return 0;
      break;
    case WM_LBUTTONDBLCLK:
      if (GET_Y_LPARAM(lParam) <= w.captionHeight && w.resizable) {
        if (const int maximise = FindMaximiseButton(index)) CaptionButtonAction(index, maximise);
      }
      break;
    case WM_NCDESTROY:
      CleanUpWindow(index);
      ::KillTimer(hwnd, reinterpret_cast<UINT_PTR>(hwnd));
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

void SkinEngine::OnMouseMove(int index, SkinnedWindow& w, POINT point) {
  const bool inBlock = point.x >= w.blockX && point.x <= w.blockX + w.blockWidth && point.y >= w.blockY &&
                       point.y <= w.blockY + w.blockHeight;
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

void SkinEngine::OnAnimationTimer(SkinnedWindow& w, int index) {
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
  const bool overBlock = cursor.x >= w.blockX && cursor.x <= w.blockX + w.blockWidth && cursor.y >= w.blockY &&
                         cursor.y <= w.blockY + w.blockHeight;
  const bool fadeOutDone = !w.fadeOut.button || w.fadeOut.step > kFadeSteps - 1;
  if ((!w.mouseInside || !overBlock) && fadeOutDone) {
    w.timerRunning = false;
    ::KillTimer(w.hwnd, reinterpret_cast<UINT_PTR>(w.hwnd));
    w.hovered = 0;
    w.fadeIn = {};
    w.fadeOut = {};
  }
}

void SkinEngine::RepaintFrame(int index, bool toScreen) {
  SkinnedWindow* found = WindowAt(index);
  if (!found) return;
  SkinnedWindow& w = *found;
  RECT client;
  ::GetClientRect(w.hwnd, &client);
  const int width = std::max<int>(client.right, 1);
  const int height = std::max<int>(client.bottom, 1);

  // The rounded outline (the window owns the region once it is set).
  ::SetWindowRgn(w.hwnd, nullptr, TRUE);
  ::SetWindowPos(w.hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER);
  UniqueRegion outline(::CreateRoundRectRgn(0, 0, width + 1, height + 1, 5, 5));
  if (::SetWindowRgn(w.hwnd, outline.Get(), TRUE)) outline.Release();

  if (!w.backBuffer.Renew(width, height)) return;
  // The window's properties name the back buffer's bitmaps as they always have.
  SetIntProp(w.hwnd, property::kKeptBitmap, reinterpret_cast<intptr_t>(w.backBuffer.Displaced()));
  SetIntProp(w.hwnd, property::kBackBitmap, reinterpret_cast<intptr_t>(w.backBuffer.Bitmap()));

  {
    Gdiplus::Graphics g(w.backBuffer.Dc());
    DrawBackground(w, g, width, height);
    if (w.captionEnabled) DrawBorder(g, width, height);
  }

  for (ArgbSurface& cache : w.caches)
    if (cache.Renew(width, height)) ::BitBlt(cache.Dc(), 0, 0, width, height, w.backBuffer.Dc(), 0, 0, SRCCOPY);

  if (w.captionEnabled) {
    composing_ = true;
    if (w.captionText) DrawCaption(index, true, nullptr);
    for (int i = 1; i <= static_cast<int>(w.buttons.size()); ++i) DrawCaptionButton(index, i, true, false, 0);
    composing_ = false;
  }

  if (toScreen) {
    ::BitBlt(ScreenDc(w.hwnd).Get(), 0, 0, width, height, w.backBuffer.Dc(), 0, 0, SRCCOPY);
  }
  w.fullRepaint = false;
  if (toScreen && !firstResize_) {
    // The controls paint over the new background.
    for (int list : {kLists, kCombos, kEdits, kButtons, kSliders, kProgressBars, kUpDowns}) {
      for (const ControlRecord& r : w.controls[static_cast<size_t>(list)]) {
        if (::GetParent(r.hwnd) != w.hwnd) continue;
        ::InvalidateRect(r.hwnd, nullptr, TRUE);
        if (list == kLists)
          for (HWND child = ::GetWindow(r.hwnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            if (::IsWindowVisible(child)) ::InvalidateRect(child, nullptr, TRUE);
      }
    }
  }
}

void SkinEngine::DrawBackground(SkinnedWindow& w, Gdiplus::Graphics& g, int width, int height) {
  // Outside the rounded outline nothing is drawn. The window's region keeps a few corner pixels
  // that this outline leaves out, so they get the background colour rather than a clearing
  // colour of their own (magenta would show there as specks).
  const Gdiplus::Color background = w.decodedPicture ? Gdiplus::Color(w.averageColour) : Argb(faceColour_, 255);
  g.Clear(background);
  Gdiplus::GraphicsPath outline;
  RoundedRectPath(outline, 0, 0, static_cast<float>(width), static_cast<float>(height), 4);
  g.SetClip(&outline);
  Gdiplus::SolidBrush fill(background);
  g.FillRectangle(&fill, 0, 0, width, height);
  if (Gdiplus::Bitmap* picture = w.decodedPicture.get()) {
    const INT pw = static_cast<INT>(picture->GetWidth());
    const INT ph = static_cast<INT>(picture->GetHeight());
    switch (w.backgroundMode) {
      case 0:
        g.DrawImage(picture, 0, 0, pw, ph);
        break;
      case 1:
        g.DrawImage(picture, width - pw, 0, pw, ph);
        break;
      case 2:
        g.DrawImage(picture, (width - pw) / 2, (height - ph) / 2, pw, ph);
        break;
      case 3: {
        // Stretched; edge pixels are repeated rather than blended with transparency.
        Gdiplus::ImageAttributes clamp;
        clamp.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
        g.DrawImage(picture, Gdiplus::Rect(0, 0, width, height), 0, 0, pw, ph, Gdiplus::UnitPixel, &clamp);
        break;
      }
      case 4: {
        std::unique_ptr<Gdiplus::Bitmap> flipped(picture->Clone(0, 0, pw, ph, PixelFormat32bppARGB));
        if (flipped) flipped->RotateFlip(Gdiplus::RotateNoneFlipX);
        for (INT x = 0, tile = 0; x < width && pw > 0; x += pw, ++tile) {
          Gdiplus::Bitmap* source = tile % 2 && flipped ? flipped.get() : picture;
          g.DrawImage(source, x, 0, pw, ph);
        }
        break;
      }
      default:
        break;
    }
  }
  if (w.glossyBand) {
    auto band = VerticalGradient(Gdiplus::RectF(0, 0, static_cast<float>(width), static_cast<float>(w.captionHeight)),
                                 White(150), White(0));
    g.FillRectangle(band.get(), 0, 0, width, w.captionHeight);
  }
  g.ResetClip();
}

void SkinEngine::DrawBorder(Gdiplus::Graphics& g, int width, int height) {
  Gdiplus::GraphicsPath outer, inner;
  RoundedRectPath(outer, 0, 0, static_cast<float>(width - 1), static_cast<float>(height - 1), 7);
  RoundedRectPath(inner, 1, 1, static_cast<float>(width - 3), static_cast<float>(height - 3), 6);
  Gdiplus::Pen dark(Black(180), 1);
  Gdiplus::Pen light(White(180), 1);
  g.DrawPath(&dark, &outer);
  g.DrawPath(&light, &inner);
}

void SkinEngine::BlitFrame(int index) {
  SkinnedWindow* w = WindowAt(index);
  if (!w || !w->backBuffer.Dc()) return;
  RECT client;
  ::GetClientRect(w->hwnd, &client);
  ::BitBlt(ScreenDc(w->hwnd).Get(), 0, 0, client.right, client.bottom, w->backBuffer.Dc(), 0, 0, SRCCOPY);
}

void SkinEngine::RestoreFromCache(SkinnedWindow& w, int x, int y, int width, int height) {
  if (w.backBuffer.Dc() && w.caches[0].Dc())
    ::BitBlt(w.backBuffer.Dc(), x, y, width, height, w.caches[0].Dc(), x, y, SRCCOPY);
}

void SkinEngine::CopyToScreen(SkinnedWindow& w, int x, int y, int width, int height) {
  if (composing_ || !w.backBuffer.Dc()) return;
  ::BitBlt(ScreenDc(w.hwnd).Get(), x, y, width, height, w.backBuffer.Dc(), x, y, SRCCOPY);
}

void SkinEngine::DrawCaption(int index, bool keepBackground, const std::wstring* text) {
  SkinnedWindow* found = WindowAt(index);
  if (!found || !found->backBuffer.Dc()) return;
  SkinnedWindow& w = *found;
  RECT client;
  ::GetClientRect(w.hwnd, &client);
  const int x = kMargin + 6 + 20;
  const int y = kMargin + 5;
  const int width = client.right - w.blockWidth - 10 - 2 * kMargin;
  const int height = 32;
  if (!keepBackground) RestoreFromCache(w, x, y, width, height);
  if (appIcon_)
    ::DrawIconEx(w.backBuffer.Dc(), kMargin + 6, kMargin + 5 - 3, appIcon_.Get(), 17, 17, 0, nullptr, DI_NORMAL);
  std::wstring title;
  if (text) {
    title = *text;
  } else {
    title = WindowText(w.hwnd);
  }
  {
    Gdiplus::Graphics g(w.backBuffer.Dc());
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    auto font = MakeFont(w.captionFace, w.captionSize, w.captionStyle);
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentNear);
    format.SetLineAlignment(Gdiplus::StringAlignmentNear);
    Gdiplus::SolidBrush outline(Argb(w.outlineColour, 150));
    const Gdiplus::PointF shifts[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const Gdiplus::PointF& shift : shifts) {
      Gdiplus::RectF box(static_cast<float>(x) + shift.X, static_cast<float>(y) + shift.Y, static_cast<float>(width),
                         static_cast<float>(height));
      g.DrawString(title.c_str(), -1, font.get(), box, &format, &outline);
    }
    Gdiplus::SolidBrush fill(Argb(w.captionColour, 255));
    g.DrawString(title.c_str(), -1, font.get(),
                 Gdiplus::RectF(static_cast<float>(x), static_cast<float>(y), static_cast<float>(width),
                                static_cast<float>(height)),
                 &format, &fill);
  }
  // The icon's rows above the text box come along too.
  CopyToScreen(w, kMargin + 6, kMargin + 2, width + x - (kMargin + 6), height + 3);
}

void SkinEngine::LayoutCaptionButtons(int index) {
  SkinnedWindow* w = WindowAt(index);
  if (!w || !w->hwnd) return;
  RECT client;
  ::GetClientRect(w->hwnd, &client);
  w->blockX = client.right - w->blockWidth + 1;
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
  const float x = b.rect.x - 1;
  const float y = b.rect.y;
  const float width = b.rect.width;
  const float height = b.rect.height;
  const bool close = b.kind == kCloseButton;
  const BYTE a = static_cast<BYTE>(std::clamp(alpha, 0, 255));
  Gdiplus::GraphicsPath shape;
  if (close)
    CloseShape(shape, x, y, width, height);
  else
    shape.AddRectangle(Gdiplus::RectF(x, y, width, height));
  Gdiplus::Bitmap* glyph =
      GlyphPicture(b.kind == kMaximiseButton && w.maximised && b.secondPicture ? *b.secondPicture : b.picture);
  const int ix = static_cast<int>(x), iy = static_cast<int>(y), iw = static_cast<int>(width),
            ih = static_cast<int>(height);
  if (pressed) {
    RestoreFromCache(w, ix, iy, iw, ih);
    {
      Gdiplus::Graphics g(w.backBuffer.Dc());
      const Gdiplus::RectF area(x, y, width, height);
      auto fill = close ? VerticalGradient(area, Gdiplus::Color(255, 255, 0, 0), White(30))
                        : VerticalGradient(area, Black(80), White(5));
      g.FillPath(fill.get(), &shape);
      if (glyph) g.DrawImage(glyph, Gdiplus::RectF(x, y, width - 1, height));
    }
    if (!fromBuffer) CopyToScreen(w, ix, iy, iw, ih);
    return;
  }
  RestoreFromCache(w, ix - 1, iy, iw + 2, ih + 1);
  {
    Gdiplus::Graphics g(w.backBuffer.Dc());
    const Gdiplus::RectF area(x, y, width, height);
    Gdiplus::GraphicsPath top;
    RoundedTopPath(top, x, y, width, height, 1);
    auto shade = VerticalGradient(area, Black(static_cast<BYTE>(a / 5)), White(0));
    g.FillPath(shade.get(), &top);
    if (close) {
      auto red = VerticalGradient(area, Gdiplus::Color(a, 255, 0, 0), White(0));
      g.FillPath(red.get(), &shape);
    } else {
      auto theme = VerticalGradient(area, Argb(kThemeColour, a), White(0));
      g.FillPath(theme.get(), &top);
    }
    Gdiplus::GraphicsPath upper;
    if (close)
      CloseShape(upper, x, y, width, height);
    else
      RoundedTopPath(upper, x, y, width, 0.8f * height, 1);
    auto edge = VerticalGradient(Gdiplus::RectF(x, y, width, close ? height : 0.8f * height),
                                 White(static_cast<BYTE>(0.8 * a)), White(0));
    Gdiplus::Pen pen(edge.get(), 1);
    g.DrawPath(&pen, &upper);
    auto sheen = VerticalGradient(Gdiplus::RectF(x - 1, y, width + 1, height - 1), White(50), Black(0));
    g.FillRectangle(sheen.get(), Gdiplus::RectF(x - 1, y, width + 1, height - 1));
    if (glyph) g.DrawImage(glyph, Gdiplus::RectF(x, y, width - 1, height));
    DrawSeparators(w, g, button);
  }
  if (!fromBuffer) CopyToScreen(w, ix - 1, iy, iw + 2, ih + 1);
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

namespace {

LPCWSTR ZoneCursor(int zone) {
  switch (zone) {
    case 1:
    case 2:
      return IDC_SIZEWE;
    case 3:
    case 6:
      return IDC_SIZENS;
    case 4:
    case 8:
      return IDC_SIZENWSE;
    default:
      return IDC_SIZENESW;
  }
}

void StartMove(HWND hwnd, POINT point) {
  ::ClientToScreen(hwnd, &point);
  ::ReleaseCapture();
  ::SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
}

}  // namespace

void SkinEngine::BeginResizeOrDrag(int index, POINT point, const RECT& client) {
  SkinnedWindow* w = WindowAt(index);
  if (!w) return;
  const int x = point.x, y = point.y;
  if (x >= w->blockX && x <= w->blockX + w->blockWidth && y <= w->blockHeight && y >= 3) return;
  if (!w->captionEnabled) return;
  if (!w->resizable && y <= w->captionHeight) {
    StartMove(w->hwnd, point);
    return;
  }
  if (const int zone = ResizeZoneAt(x, y, client.right, client.bottom)) {
    ::SetCursor(::LoadCursorW(nullptr, ZoneCursor(zone)));
    w->fullRepaint = true;
    POINT screen = point;
    ::ClientToScreen(w->hwnd, &screen);
    ::SendMessageW(w->hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(SC_SIZE + zone), MAKELPARAM(screen.x, screen.y));
    return;
  }
  if (y <= w->captionHeight) StartMove(w->hwnd, point);
}

void SkinEngine::UpdateResizeCursor(int index, POINT point, const RECT& client) {
  SkinnedWindow* w = WindowAt(index);
  if (!w || !w->resizable) return;
  if (const int zone = ResizeZoneAt(point.x, point.y, client.right, client.bottom))
    ::SetCursor(::LoadCursorW(nullptr, ZoneCursor(zone)));
}

}  // namespace velmora::skin
