// Program entry. Until the effect board window exists, the program opens a plain window that
// lists the 100 captions loaded from the configuration, so what the configuration layer reads
// can be seen on screen.
#include "assets/resource.h"
#include "base/Paths.h"
#include "config/Captions.h"
#include "config/Catalogue.h"
#include "config/ConfigStore.h"
#include "config/Folders.h"

#include <windows.h>

namespace {

constexpr wchar_t kWindowClass[] = L"VelmoraBoard";
constexpr wchar_t kWindowTitle[] = L"Velmora音效";
constexpr int kWidth = 724;
constexpr int kHeight = 478;

velmora::config::PlainCaptionHolder g_captions;

void PaintCaptions(HDC dc, const RECT& client) {
  using namespace velmora::config;
  ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  const int columnWidth = (client.right - client.left) / kCategoryCount;
  for (const CategoryInfo& c : kCategories) {
    const int x = (c.number - 1) * columnWidth + 6;
    RECT header{x, 4, x + columnWidth - 12, 20};
    ::DrawTextW(dc, c.folder, -1, &header, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    for (int i = 1; i <= c.slotCount; ++i) {
      const std::wstring text = std::to_wstring(i) + L". " + g_captions.Caption({c.number, i});
      RECT line{x, 8 + i * 14, x + columnWidth - 12, 8 + (i + 1) * 14};
      ::DrawTextW(dc, text.c_str(), -1, &line, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
  }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd, &ps);
      RECT client;
      ::GetClientRect(hwnd, &client);
      PaintCaptions(dc, client);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) ::DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  const velmora::config::ConfigStore store(velmora::ProgramDirectory());
  velmora::config::LoadCaptions(store, g_captions);
  velmora::config::EnsureFolders(store.ProgramDirectory());

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kWindowClass;
  if (!::RegisterClassExW(&wc)) return 1;

  HWND hwnd = ::CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  ::ShowWindow(hwnd, show);
  ::UpdateWindow(hwnd);

  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}
