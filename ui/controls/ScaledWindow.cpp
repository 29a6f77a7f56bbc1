#include "ui/controls/ScaledWindow.h"

namespace velmora::ui {

namespace {
constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED; older SDK headers lack it
}

bool ScaledWindow::CreateScaled(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle,
                                int designWidth, int designHeight, HWND owner) {
  designWidth_ = designWidth;
  designHeight_ = designHeight;
  children_.clear();
  scale_ = DpiScale(SystemDpi());
  fonts_.SetScale(scale_);
  const int width = scale_(designWidth);
  const int height = scale_(designHeight);
  const POINT at = CentredOnScreen(width, height);
  if (!Create(className, title, style, exStyle, at.x, at.y, width, height, owner)) return false;
  // The primary screen's DPI was a guess: the window may have landed on another monitor.
  const UINT dpi = WindowDpi(Hwnd());
  if (dpi != scale_.Dpi()) Rescale(dpi, nullptr);
  return true;
}

HWND ScaledWindow::AddChild(const wchar_t* className, const wchar_t* text, DWORD style, DesignRect rect, int id,
                            int fontHeight, DWORD exStyle) {
  HWND child = CreateChildControl(Hwnd(), className, text, style, scale_.Rect(rect), id, fonts_.Get(fontHeight),
                                  exStyle);
  if (child) children_.push_back(Child{child, rect, fontHeight});
  return child;
}

void ScaledWindow::Rescale(UINT dpi, const RECT* suggested) {
  scale_ = DpiScale(dpi);
  // The children get the new fonts before the old ones are deleted.
  FontCache fonts;
  fonts.SetScale(scale_);
  for (const Child& child : children_) {
    if (!::IsWindow(child.hwnd)) continue;
    const RECT r = scale_.Rect(child.rect);
    ::SetWindowPos(child.hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(child.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.Get(child.fontHeight)), FALSE);
  }
  fonts_.Swap(fonts);
  RECT target;
  if (suggested) {
    target = *suggested;
  } else {
    RECT now;
    ::GetWindowRect(Hwnd(), &now);
    const int width = scale_(designWidth_);
    const int height = scale_(designHeight_);
    const int left = (now.left + now.right - width) / 2;
    const int top = (now.top + now.bottom - height) / 2;
    target = RECT{left, top, left + width, top + height};
  }
  ::SetWindowPos(Hwnd(), nullptr, target.left, target.top, target.right - target.left, target.bottom - target.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  OnRescaled();
  ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

LRESULT ScaledWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == kDpiChanged && lParam) {
    Rescale(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
    return 0;
  }
  return PaintedWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace velmora::ui
