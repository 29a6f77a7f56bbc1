// A window that paints itself in one place: WM_PAINT and WM_PRINTCLIENT both call Paint, and
// the background is never erased separately (nothing flickers).
#pragma once

#include "ui/controls/Window.h"

namespace velmora::ui {

class PaintedWindow : public Window {
 protected:
  virtual void Paint(HDC dc) = 0;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override {
    switch (message) {
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(Hwnd(), &ps);
        Paint(dc);
        ::EndPaint(Hwnd(), &ps);
        return 0;
      }
      case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wParam));
        return 0;
      default:
        return Window::HandleMessage(message, wParam, lParam);
    }
  }
};

}  // namespace velmora::ui
