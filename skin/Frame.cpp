// The skinned window itself: its procedure and a handler for each message it takes part in, the
// composed background, border and caption strip, dragging, sizing, maximise and minimise. The
// caption buttons are in CaptionButtons.cpp.
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
  SkinnedWindow& w = *WindowAt(index);  // gone once a command has closed the window: not used after one
  switch (message) {
    case WM_SIZE:
      OnSize(w);
      break;
    case WM_SETTEXT:
      OnSetText(index, w, lParam);
      break;
    case WM_PAINT:
      OnPaint(index, w);
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_ERASEBKGND:
      ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return 1;
    case WM_SHOWWINDOW:
      OnShowWindow(index, w, wParam);
      break;
    case WM_QUERYOPEN:
      w.minimised = false;
      break;
    case WM_SYSCOMMAND:
      OnSysCommand(w, wParam);
      break;
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(w, *reinterpret_cast<MINMAXINFO*>(lParam));
      break;
    case WM_WINDOWPOSCHANGED:
      OnWindowPosChanged(index, w);
      break;
    case WM_ACTIVATEAPP:
      if (wParam == 0) StartWorkingSetTrim();
      break;
    case WM_DRAWITEM:
      OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      break;
    case WM_NOTIFY:
      OnNotify(reinterpret_cast<const NMHDR*>(lParam));
      break;
    case WM_MOUSEMOVE:
      OnMouseMove(index, w, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      break;
    case WM_MOUSEHOVER:
      w.mouseInside = true;
      break;
    case WM_MOUSELEAVE:
      OnMouseLeave(index, w);
      break;
    case WM_TIMER:
      if (wParam == reinterpret_cast<WPARAM>(hwnd)) StepCaptionFade(index, w);
      break;
    case WM_LBUTTONDOWN:
      OnLeftButtonDown(index, w, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      break;
    case WM_LBUTTONUP:
      OnLeftButtonUp(index, w);
      if (!::IsWindow(hwnd)) return 0;
      break;
    case WM_LBUTTONDBLCLK:
      OnDoubleClick(index, w, GET_Y_LPARAM(lParam));
      break;
    case WM_NCDESTROY:
      OnNcDestroy(index, hwnd);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

void SkinEngine::OnSize(SkinnedWindow& w) {
  w.hovered = 0;
  if (firstResize_)
    firstResize_ = false;
  else
    w.fullRepaint = true;
}

void SkinEngine::OnSetText(int index, SkinnedWindow& w, LPARAM text) {
  if (!w.captionEnabled || !w.captionText || !text) return;
  const std::wstring title = reinterpret_cast<const wchar_t*>(text);
  DrawCaption(index, false, &title);
}

void SkinEngine::OnPaint(int index, SkinnedWindow& w) {
  const PaintScope paint(w.hwnd);
  if (w.minimised) return;
  if (w.fullRepaint)
    RepaintFrame(index, true);
  else
    BlitFrame(index);
}

void SkinEngine::OnShowWindow(int index, SkinnedWindow& w, WPARAM shown) {
  if (shown != 1) return;
  if (w.minimised) {
    w.minimised = false;
    return;
  }
  const PaintScope paint(w.hwnd);
  RepaintFrame(index, true);
}

void SkinEngine::OnSysCommand(SkinnedWindow& w, WPARAM command) {
  switch (command & 0xFFF0) {
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
}

void SkinEngine::OnGetMinMaxInfo(SkinnedWindow& w, MINMAXINFO& info) {
  const int screenW = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenH = ::GetSystemMetrics(SM_CYSCREEN);
  info.ptMinTrackSize = POINT{w.minTrack.cx, w.minTrack.cy};
  info.ptMaxTrackSize = w.maximised ? POINT{screenW, screenH - TaskbarHeight()} : POINT{screenW, screenH};
}

void SkinEngine::OnWindowPosChanged(int index, SkinnedWindow& w) {
  RECT client;
  ::GetClientRect(w.hwnd, &client);
  const int screenW = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenH = ::GetSystemMetrics(SM_CYSCREEN);
  if (w.maximiseBox && client.right == screenW && client.bottom == screenH) {
    // Maximised over the whole screen: leave the taskbar visible.
    w.maximised = true;
    const int height = screenH - TaskbarHeight();
    RECT window;
    ::GetWindowRect(w.hwnd, &window);
    if (window.left != 0 || window.top != 0 || window.bottom - window.top != height)
      ::SetWindowPos(w.hwnd, nullptr, 0, 0, screenW, height, SWP_NOZORDER | SWP_NOOWNERZORDER);
  }
  LayoutCaptionButtons(index);
}

void SkinEngine::OnDrawItem(const DRAWITEMSTRUCT* item) {
  if (!item || item->CtlType != ODT_BUTTON || GetIntProp(item->hwndItem, property::kIndex) <= 0) return;
  if (const ControlRecord* record = RecordOf(item->hwndItem, kButtons); record && record->kind == 0)
    PaintButton(*this, item->hwndItem, item->hDC, item->itemState, item->rcItem);
}

void SkinEngine::OnNotify(const NMHDR* header) {
  if (header && (static_cast<int>(header->code) == -405 || static_cast<int>(header->code) == -406))
    ::InvalidateRect(header->hwndFrom, nullptr, TRUE);  // a tree view item expanding or expanded
}

void SkinEngine::OnMouseMove(int index, SkinnedWindow& w, POINT point) {
  if (!w.mouseInside) {
    TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, w.hwnd, 1};
    ::TrackMouseEvent(&track);
  }
  if (!w.maximised) {
    RECT client;
    ::GetClientRect(w.hwnd, &client);
    UpdateResizeCursor(index, point, client);
  }
  if (w.captionEnabled) TrackCaptionHover(index, w, point);
}

void SkinEngine::OnMouseLeave(int index, SkinnedWindow& w) {
  w.mouseInside = false;
  if (w.captionEnabled) EndCaptionHover(index, w);
}

void SkinEngine::OnLeftButtonDown(int index, SkinnedWindow& w, POINT point) {
  if (!w.captionEnabled) return;
  const HWND hwnd = w.hwnd;
  if (!w.maximised && !w.minimised) {
    RECT client;
    ::GetClientRect(hwnd, &client);
    BeginResizeOrDrag(index, point, client);  // a move or size loop: the window may be gone after it
  }
  if (SkinnedWindow* still = WindowAt(index); still && still->hwnd == hwnd) {
    pressedButton_ = HitTestCaptionButton(index, point.x, point.y);
    if (pressedButton_ >= 1) DrawCaptionButton(index, pressedButton_, false, true, 0);
  }
}

void SkinEngine::OnLeftButtonUp(int index, SkinnedWindow& w) {
  if (pressedButton_ >= 1 && pressedButton_ <= static_cast<int>(w.buttons.size()) && w.captionEnabled)
    CaptionButtonAction(index, pressedButton_);
}

void SkinEngine::OnDoubleClick(int index, SkinnedWindow& w, int y) {
  if (y > w.captionHeight || !w.resizable) return;
  if (const int maximise = FindMaximiseButton(index)) CaptionButtonAction(index, maximise);
}

void SkinEngine::OnNcDestroy(int index, HWND hwnd) {
  CleanUpWindow(index);
  ::KillTimer(hwnd, reinterpret_cast<UINT_PTR>(hwnd));
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
  if (PressOnCaptionBlock(w->blockX, w->blockWidth, w->blockHeight, x, y)) return;
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
