#include "tests/support/WindowCapture.h"

#include "base/Window.h"

#include <shlobj.h>

#include <cstdlib>

namespace velmora::test {

template <typename Draw>
void Capture::Take(HWND owner, int w, int h, Draw draw) {
  width_ = w;
  height_ = h;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC window = ::GetDC(owner);
  HDC dc = ::CreateCompatibleDC(window);
  HBITMAP bitmap = ::CreateDIBSection(window, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  draw(dc, window);
  ::GdiFlush();
  const uint32_t* source = static_cast<const uint32_t*>(bits);
  pixels_.assign(source, source + static_cast<size_t>(width_) * static_cast<size_t>(height_));
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  ::ReleaseDC(owner, window);
}

namespace {

SIZE ClientSize(HWND hwnd) {
  RECT client{};
  ::GetClientRect(hwnd, &client);
  return SIZE{client.right, client.bottom};
}

}  // namespace

Capture Capture::OfClient(HWND hwnd) {
  Capture capture;
  const SIZE size = ClientSize(hwnd);
  capture.Take(hwnd, size.cx, size.cy,
               [hwnd](HDC dc, HDC) { ::SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT); });
  return capture;
}

Capture Capture::OfScreen(HWND hwnd) {
  Capture capture;
  const SIZE size = ClientSize(hwnd);
  capture.Take(hwnd, size.cx, size.cy, [&capture](HDC dc, HDC window) {
    ::BitBlt(dc, 0, 0, capture.width_, capture.height_, window, 0, 0, SRCCOPY);
  });
  return capture;
}

Capture Capture::OfWindowOnScreen(HWND hwnd) {
  Capture capture;
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  capture.Take(nullptr, r.right - r.left, r.bottom - r.top, [&capture, r](HDC dc, HDC screen) {
    ::BitBlt(dc, 0, 0, capture.width_, capture.height_, screen, r.left, r.top, SRCCOPY);
  });
  return capture;
}

COLORREF Capture::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0xFFFFFFFF;
  const uint32_t bgra = pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
  return RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
}

int Capture::Count(const RECT& rect, COLORREF colour) const {
  int count = 0;
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) count += At(x, y) == colour;
  }
  return count;
}

std::wstring WindowText(HWND hwnd) { return velmora::WindowText(hwnd); }

bool PressTaken(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return ::GetGUIThreadInfo(threadId, &info) && ((info.flags & GUI_INMOVESIZE) != 0 || info.hwndCapture != nullptr);
}

bool InMenuMode(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return ::GetGUIThreadInfo(threadId, &info) && (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0;
}

RECT ChildRect(HWND child) {
  RECT r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int Distance(COLORREF a, COLORREF b) {
  return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
         std::abs(GetBValue(a) - GetBValue(b));
}

HGLOBAL MakeDroppedFiles(const std::vector<std::wstring>& paths, POINT client) {
  size_t chars = 1;
  for (const std::wstring& path : paths) chars += path.size() + 1;
  HGLOBAL memory = ::GlobalAlloc(GHND | GMEM_SHARE, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->pt = client;
  drop->fNC = FALSE;
  drop->fWide = TRUE;
  wchar_t* text = reinterpret_cast<wchar_t*>(drop + 1);
  for (const std::wstring& path : paths) {
    path.copy(text, path.size());
    text += path.size() + 1;
  }
  ::GlobalUnlock(memory);
  return memory;
}

}  // namespace velmora::test
