// The two small borderless windows: the instructions, and the notice shown while the
// configuration is rebuilt.
#pragma once

#include "ui/controls/ControlPaint.h"
#include "ui/controls/ScaledWindow.h"

#include <functional>
#include <string>

namespace velmora::ui {

// Runs a message loop until `window` is gone: how the program's modal windows are shown.
// Esc closes the window (or any window of ours that asked for it, see CloseOnEscape).
void RunModalLoop(HWND window);

// Windows that Esc closes, whichever of their children has the focus. The program's message
// loops call HandleEscape before dispatching.
void CloseOnEscape(HWND window);
bool HandleEscape(const MSG& msg);

class NoticeWindow final : public ScaledWindow {
 public:
  static constexpr wchar_t kClassName[] = L"VelmoraNotice";
  static constexpr wchar_t kText[] = L"请稍等。。。";

  // Shows "请稍等。。。", paints it, runs `work` once the window is on the screen, then closes;
  // returns only when the window is gone (a modal window with no owner).
  static void Run(const std::function<void()>& work);

 private:
  explicit NoticeWindow(const std::function<void()>& work) : work_(work) {}
  void Paint(HDC dc) override;

  const std::function<void()>& work_;
};

class InstructionsWindow final : public ScaledWindow {
 public:
  static constexpr wchar_t kClassName[] = L"VelmoraInstructions";

  // Modal over `owner` (the tray menu: the board is disabled meanwhile) or not (the settings
  // window). The window deletes itself when closed.
  static HWND Open(bool modal, HWND owner = nullptr);
  // The fixed instructions text, lines separated by CR LF.
  static std::wstring Text();

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;

 private:
  InstructionsWindow() = default;
  void Paint(HDC dc) override;
  RECT OkRect() const;

  HWND edit_ = nullptr;
  UniqueBrush editBrush_;
  ButtonHover okHover_;
  bool okPressed_ = false;
};

}  // namespace velmora::ui
