// Pixels of a window as it paints itself (WM_PRINTCLIENT into a bitmap of ours), and input
// driving helpers for window tests.
#pragma once

#include "tests/support/Waiting.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

class Capture {
 public:
  // The window's client area as its own paint code draws it.
  static Capture OfClient(HWND hwnd);
  // What is on the screen in the window's client area (after the window has painted).
  static Capture OfScreen(HWND hwnd);
  // What the screen shows over the window's whole rectangle, frame and scroll bars included.
  static Capture OfWindowOnScreen(HWND hwnd);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // A colour reference (0x00BBGGRR), or 0xFFFFFFFF outside the picture.
  COLORREF At(int x, int y) const;
  // How many pixels of the rectangle have exactly this colour.
  int Count(const RECT& rect, COLORREF colour) const;

 private:
  // Draws into a top-down 32-bit bitmap of w × h with `draw(dc, source)` and keeps the pixels;
  // `source` is the DC of `owner` (the screen's when null).
  template <typename Draw>
  void Take(HWND owner, int w, int h, Draw draw);

  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;  // top-down BGRA
};

// Whether the thread runs the system's move or size loop, or a window of it holds the mouse: a
// press it was sent has been taken.
bool PressTaken(DWORD threadId);
// Whether the thread runs a menu's loop, which takes the keys pressed from then on.
bool InMenuMode(DWORD threadId);

// A window's text.
std::wstring WindowText(HWND hwnd);

// The middle of a rectangle.
inline POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
// A child window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
// How far apart two colours are, summed over red, green and blue.
int Distance(COLORREF a, COLORREF b);

// What the shell hands a window that accepts files (the wParam of WM_DROPFILES): DROPFILES with
// the drop point in client coordinates, then the wide paths, each ended by a zero, and one more.
HGLOBAL MakeDroppedFiles(const std::vector<std::wstring>& paths, POINT client);

}  // namespace velmora::test
