#include "ui/SmallWindows.h"

#include "ui/VendorLinks.h"

#include <windowsx.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace velmora::ui {

namespace {

std::vector<HWND>& EscapeWindows() {
  static std::vector<HWND> windows;  // UI thread only
  return windows;
}

std::vector<std::unique_ptr<InstructionsWindow>>& OpenInstructions() {
  static std::vector<std::unique_ptr<InstructionsWindow>> windows;
  return windows;
}

constexpr Colour kNavy = Rgb(0, 0, 128);
constexpr Colour kEditText = Rgb(236, 236, 236);
constexpr Colour kOkBack = Rgb(128, 128, 255);
constexpr int kEditId = 10;

}  // namespace

void CloseOnEscape(HWND window) {
  auto& windows = EscapeWindows();
  windows.erase(std::remove_if(windows.begin(), windows.end(), [](HWND w) { return !::IsWindow(w); }), windows.end());
  windows.push_back(window);
}

bool HandleEscape(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_ESCAPE) return false;
  // Esc in a combo box whose list is open closes only the list: the combo gets the key.
  for (HWND w = msg.hwnd; w; w = ::GetParent(w)) {
    wchar_t className[16] = {};
    ::GetClassNameW(w, className, static_cast<int>(std::size(className)));
    if (::lstrcmpiW(className, L"ComboBox") == 0 && ::SendMessageW(w, CB_GETDROPPEDSTATE, 0, 0)) return false;
  }
  const HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
  const auto& windows = EscapeWindows();
  if (std::find(windows.begin(), windows.end(), root) == windows.end()) return false;
  ::PostMessageW(root, WM_CLOSE, 0, 0);
  return true;
}

void RunModalLoop(HWND window) {
  MSG msg;
  while (::IsWindow(window)) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit for the outer loop
      return;
    }
    if (HandleEscape(msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// ---- NoticeWindow ----

void NoticeWindow::Run(const std::function<void()>& work) {
  NoticeWindow notice(work);
  RegisterClassOnce(kClassName, nullptr);
  if (!notice.CreateScaled(kClassName, L"", WS_POPUP, WS_EX_APPWINDOW, 260, 99, nullptr)) {
    work();  // no window: the rebuild still has to happen
    return;
  }
  CloseOnEscape(notice.Hwnd());
  // On the screen and painted before the work starts, so the user sees the waiting text while
  // the interface does not answer.
  ::ShowWindow(notice.Hwnd(), SW_SHOW);
  ::UpdateWindow(notice.Hwnd());
  // Let the window system put the painted window on the screen before the thread goes busy:
  // some (Wine's X11 driver among them) copy a window's pixels out only while the thread waits
  // for messages.
  const ULONGLONG until = ::GetTickCount64() + 60;
  MSG msg;
  while (::GetTickCount64() < until) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    while (::PeekMessageW(&msg, notice.Hwnd(), 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  work();
  ::DestroyWindow(notice.Hwnd());
}

void NoticeWindow::Paint(HDC dc) {
  RECT client;
  ::GetClientRect(Hwnd(), &client);
  PaintControl(dc, client, ControlKind::PageContainer, L"", Colours{0, Rgb(0, 0, 255)}, fonts_.Get(0),
               TextAlign::Left);
  PaintControl(dc, scale_.Rect(DesignRect{24, 32, 216, 40}), ControlKind::TransparentLabel, kText,
               Colours{Rgb(255, 0, 0), kNoColour}, fonts_.Get(35), TextAlign::Left);
}

// ---- InstructionsWindow ----

std::wstring InstructionsWindow::Text() {
  const std::wstring lines[] = {
      std::wstring(19, L' '),
      L"",
      std::wstring(29, L' ') + L"音效辅助软件",
      L"",
      L"  软件介绍：",
      L"",
      L"  1.本软件可以自定义效果,有一栏自定义效果栏，右键自定义即可设置",
      L"",
      L"",
      L"  3.本软件可以设置快捷键，快捷键缩小也可以使用，右键笑声即可设置",
      L"",
      L"",
      L"  4.本软件可以设置不卡麦通道，设置一次就可以下次不用设置,在软件音频输出设",
      L"",
      L"    置即可",
      L"",
      L"",
      L"  5.软件出现错误，点击软件更新配置",
      L"",
      L"",
      std::wstring(L"  6.官方网站：") + kWebsiteUrl,
      L"",
      std::wstring(L"  7.网店地址：") + kShopUrl,
  };
  std::wstring text;
  for (size_t i = 0; i < std::size(lines); ++i) {
    if (i) text += L"\r\n";
    text += lines[i];
  }
  return text;
}

HWND InstructionsWindow::Open(bool modal, HWND owner) {
  auto& open = OpenInstructions();
  open.erase(std::remove_if(open.begin(), open.end(), [](const auto& w) { return w->Hwnd() == nullptr; }),
             open.end());
  auto window = std::unique_ptr<InstructionsWindow>(new InstructionsWindow());
  RegisterClassOnce(kClassName, nullptr);
  if (!window->CreateScaled(kClassName, L"软件说明", WS_POPUP | WS_CLIPCHILDREN, WS_EX_APPWINDOW, 466, 316, nullptr))
    return nullptr;
  const HWND hwnd = window->Hwnd();
  CloseOnEscape(hwnd);
  ::ShowWindow(hwnd, SW_SHOW);
  open.push_back(std::move(window));
  if (modal) {
    const bool disable = owner && ::IsWindowEnabled(owner);
    if (disable) ::EnableWindow(owner, FALSE);
    RunModalLoop(hwnd);
    if (disable) ::EnableWindow(owner, TRUE);
  }
  return hwnd;
}

RECT InstructionsWindow::OkRect() const { return scale_.Rect(DesignRect{376, 280, 80, 24}); }

void InstructionsWindow::Paint(HDC dc) {
  RECT client;
  ::GetClientRect(Hwnd(), &client);
  PaintControl(dc, client, ControlKind::PageContainer, L"", Colours{0, kNavy}, fonts_.Get(0), TextAlign::Left);
  const RECT ok = OkRect();
  PaintControl(dc, ok, ControlKind::ColourButton, L"确定", Colours{Rgb(255, 255, 255), kOkBack}, fonts_.Get(0),
               TextAlign::Centre);
  if (okHover_.Hovered() || okPressed_) PaintButtonBorder(dc, ok, okPressed_);
}

LRESULT InstructionsWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  switch (message) {
    case WM_CREATE: {
      edit_ = AddChild(L"EDIT", Text().c_str(), WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                       DesignRect{2, 0, 462, 264}, kEditId, 0);
      editBrush_.Reset(::CreateSolidBrush(kNavy));
      return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      ::SetTextColor(reinterpret_cast<HDC>(wParam), kEditText);
      ::SetBkColor(reinterpret_cast<HDC>(wParam), kNavy);
      return reinterpret_cast<LRESULT>(editBrush_.Get());
    case WM_MOUSEMOVE: {
      okHover_.Move(Hwnd(), OkRect(), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    }
    case WM_MOUSELEAVE: {
      okHover_.Leave(Hwnd(), OkRect());
      return 0;
    }
    case WM_LBUTTONDOWN: {
      const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const RECT ok = OkRect();
      if (::PtInRect(&ok, point)) {
        okPressed_ = true;
        ::SetCapture(Hwnd());
        ::InvalidateRect(Hwnd(), &ok, FALSE);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      if (!okPressed_) return 0;
      okPressed_ = false;
      ::ReleaseCapture();
      const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const RECT ok = OkRect();
      if (::PtInRect(&ok, point)) {
        ::DestroyWindow(Hwnd());
      } else {
        ::InvalidateRect(Hwnd(), &ok, FALSE);
      }
      return 0;
    }
    case WM_DESTROY:
      editBrush_.Reset();
      return 0;
    default:
      return ScaledWindow::HandleMessage(message, wParam, lParam);
  }
}

}  // namespace velmora::ui
