// A painted window laid out in design units (96 DPI) that follows the DPI of the monitor it is
// on: created at the system DPI, laid out again when it lands on (or is moved to) a monitor of
// another DPI, with its child controls moved and given fonts of the new size.
#pragma once

#include "ui/controls/ControlPaint.h"
#include "ui/controls/PaintedWindow.h"

#include <vector>

namespace velmora::ui {

class ScaledWindow : public PaintedWindow {
 public:
  const DpiScale& Scale() const { return scale_; }

 protected:
  // Creates the window `designWidth` × `designHeight` design units large, centred on the
  // primary screen. Children made by AddChild during WM_CREATE already use the final DPI.
  bool CreateScaled(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle, int designWidth,
                    int designHeight, HWND owner);
  // A standard child control at a design rectangle, with the default GUI font (fontHeight 0) or
  // a font of that character height; it is laid out again at every DPI change.
  HWND AddChild(const wchar_t* className, const wchar_t* text, DWORD style, DesignRect rect, int id, int fontHeight,
                DWORD exStyle = 0);
  // A window that owns more than its children (tool rectangles, buffers) refreshes them here.
  virtual void OnRescaled() {}
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;

  DpiScale scale_;
  FontCache fonts_;

 private:
  // Lays the window out for `dpi`: at `suggested` (WM_DPICHANGED's rectangle), or resized about
  // its centre when there is none.
  void Rescale(UINT dpi, const RECT* suggested);

  struct Child {
    HWND hwnd;
    DesignRect rect;
    int fontHeight;
  };
  std::vector<Child> children_;
  int designWidth_ = 0;
  int designHeight_ = 0;
};

}  // namespace velmora::ui
