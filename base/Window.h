// The one window base class: a static procedure binds the object at WM_NCCREATE (so non-client
// messages reach it too), forwards every message to HandleMessage and lets go at WM_NCDESTROY.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// A window's text (a control's caption or contents).
std::wstring WindowText(HWND hwnd);

class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Hwnd() const { return hwnd_; }

 protected:
  // Registers the class once per process (later calls are no-ops) with this base's procedure.
  static bool RegisterClassOnce(const wchar_t* className, HICON icon, UINT style = CS_DBLCLKS);
  bool Create(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int w, int h,
              HWND parent);
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;

 private:
  static LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  HWND hwnd_ = nullptr;
};

}  // namespace velmora
