// Driving skinned windows in tests: the engine started once, the real pointer moved and pressed
// over a window (so hover tracking, capture and drag work as for a user), and colour checks
// with a tolerance for GDI+'s rounding.
#pragma once

#include "tests/support/Waiting.h"

#include <windows.h>

#include <functional>

namespace velmora::test {

// Starts the skin engine for this test process (once; it lives until the process ends).
bool StartSkinEngine();

// Puts the pointer on a client point of the window; the window receives the real mouse moves.
void MoveMouse(HWND hwnd, int x, int y);
void MouseDown();  // left button
void MouseUp();
// Moves, presses and releases, pumping messages in between.
void ClickAt(HWND hwnd, int x, int y);
// Presses a key (down and up) through the real input queue.
void TapKey(WORD key);

// Each of red, green and blue within `tolerance`.
bool Near(COLORREF a, COLORREF b, int tolerance = 6);
int Brightness(COLORREF c);  // (r + g + b) / 3

}  // namespace velmora::test
