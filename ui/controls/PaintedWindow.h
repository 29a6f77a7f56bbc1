// A window that paints itself in one place: WM_PAINT and WM_PRINTCLIENT both draw through Paint
// into an off-screen surface kept for the window's life, which reaches the target in a single
// copy of the part asked for; the background is never erased separately, so nothing flickers.
#pragma once

#include "base/Gdi.h"
#include "base/Window.h"

namespace velmora::ui {

class PaintedWindow : public Window {
 protected:
  // Draws the whole client area into `dc`, whose clip region is the part being painted.
  virtual void Paint(HDC dc) = 0;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override {
    switch (message) {
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(Hwnd(), &ps);
        PaintThroughSurface(dc, ps.rcPaint);
        ::EndPaint(Hwnd(), &ps);
        return 0;
      }
      case WM_PRINTCLIENT: {
        RECT client;
        ::GetClientRect(Hwnd(), &client);
        PaintThroughSurface(reinterpret_cast<HDC>(wParam), client);
        return 0;
      }
      case WM_NCDESTROY:
        surface_.Release();
        break;
      default:
        break;
    }
    return Window::HandleMessage(message, wParam, lParam);
  }

 private:
  void PaintThroughSurface(HDC target, const RECT& part) {
    RECT client;
    ::GetClientRect(Hwnd(), &client);
    if (!surface_.Fit(target, client.right, client.bottom)) {
      Paint(target);  // no memory for the surface: straight onto the target
      return;
    }
    HDC dc = surface_.Dc();
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, part.left, part.top, part.right, part.bottom);
    Paint(dc);
    ::RestoreDC(dc, saved);
    ::BitBlt(target, part.left, part.top, part.right - part.left, part.bottom - part.top, dc, part.left, part.top,
             SRCCOPY);
  }

  MemorySurface surface_;
};

}  // namespace velmora::ui
