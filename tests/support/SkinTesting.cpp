#include "tests/support/SkinTesting.h"

#include "skin/SkinEngine.h"
#include "tests/support/WindowCapture.h"

#include <cstdlib>

namespace velmora::test {

bool StartSkinEngine() { return skin::SkinEngine::Start(); }

namespace {

void SendMouse(DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  ::SendInput(1, &input, sizeof(input));
}

}  // namespace

void MoveMouse(HWND hwnd, int x, int y) {
  POINT point{x, y};
  ::ClientToScreen(hwnd, &point);
  ::SetCursorPos(point.x, point.y);
  // A relative move of nothing: the window under the pointer gets a real WM_MOUSEMOVE.
  SendMouse(MOUSEEVENTF_MOVE);
  PumpMessages();
}

void MouseDown() {
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  PumpMessages();
}

void MouseUp() {
  SendMouse(MOUSEEVENTF_LEFTUP);
  PumpMessages();
}

void ClickAt(HWND hwnd, int x, int y) {
  MoveMouse(hwnd, x, y);
  MouseDown();
  MouseUp();
}

void TapKey(WORD key) {
  INPUT inputs[2]{};
  inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = inputs[1].ki.wVk = key;
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, inputs, sizeof(INPUT));
  PumpMessages();
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

int Brightness(COLORREF c) { return (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3; }

}  // namespace velmora::test
