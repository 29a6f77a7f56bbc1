// Drawing of the self-drawn control kinds, one function per kind, and the scaling of design
// rectangles and fonts to the window's DPI.
#pragma once

#include "base/Gdi.h"
#include "ui/controls/ControlDesign.h"

#include <windows.h>

#include <map>
#include <utility>
#include <string>

namespace velmora::ui {

// The DPI of the screen (the system's), for windows that do not follow a monitor of their own.
UINT SystemDpi();
// The DPI of the monitor a window is on where the system tells it per window (Windows 10),
// otherwise the system's (also for no window).
UINT WindowDpi(HWND hwnd);

// The top-left corner of a window of this size centred on the primary screen.
POINT CentredOnScreen(int width, int height);

// Takes the visual style off a control: themed check boxes and radio buttons draw their text in
// the theme's colour and ignore WM_CTLCOLORSTATIC, so a caption we colour needs the classic look.
void UseClassicLook(HWND control);

// Design units (96 DPI) to device pixels.
class DpiScale {
 public:
  explicit DpiScale(UINT dpi = 96) : dpi_(dpi ? dpi : 96) {}
  UINT Dpi() const { return dpi_; }
  int operator()(int designPixels) const { return ::MulDiv(designPixels, static_cast<int>(dpi_), 96); }
  // A design rectangle whose parent's origin lies at (originX, originY) in the window.
  RECT Rect(const DesignRect& r, int originX = 0, int originY = 0) const;
  // Device pixels back to design units (for hit-testing mouse positions).
  int ToDesign(int devicePixels) const { return ::MulDiv(devicePixels, 96, static_cast<int>(dpi_)); }

 private:
  UINT dpi_;
};

// Fonts for one DPI: the default GUI font scaled, and fonts of a given character height.
class FontCache {
 public:
  FontCache() = default;
  ~FontCache();
  FontCache(const FontCache&) = delete;
  FontCache& operator=(const FontCache&) = delete;

  void SetScale(const DpiScale& scale);
  void Swap(FontCache& other) noexcept;
  // characterHeight 0 = the default GUI font; a height of our own comes in `weight`.
  HFONT Get(int characterHeight, int weight = FW_NORMAL);

 private:
  void Clear();
  DpiScale scale_;
  std::map<std::pair<int, int>, UniqueFont> fonts_;
};

// The hover state of one self-drawn button of a window: Move on WM_MOUSEMOVE, Leave on
// WM_MOUSELEAVE; both repaint the button when the state changed, and the window is asked to
// report the pointer leaving while the button is hovered.
class ButtonHover {
 public:
  void Move(HWND window, const RECT& button, POINT point);
  void Leave(HWND window, const RECT& button);
  bool Hovered() const { return hovered_; }

 private:
  bool hovered_ = false;
};

// A standard child control (edit, combo box, button, static) at `rect` with the given font.
HWND CreateChildControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect,
                        int id, HFONT font, DWORD exStyle = 0);

// Paints one control of `kind` into `rect`. `colours` are the ones for its current state.
void PaintControl(HDC dc, const RECT& rect, ControlKind kind, const std::wstring& caption, const Colours& colours,
                  HFONT font, TextAlign align);

// Word-wrapped text in `rect` in the default GUI font; where that font needs more room than the
// rectangle has (a font with more leading than the one the design was laid out in), a smaller
// height is taken, down to 8 design pixels, so no line is cut off.
void DrawWrappedFitted(HDC dc, const RECT& rect, const std::wstring& text, FontCache& fonts);

// The one-pixel 3-D frame of a colour button that has a border: raised while hovered, sunken
// while held down.
void PaintButtonBorder(HDC dc, const RECT& rect, bool pressed);

}  // namespace velmora::ui
