#include "app/TrayIcon.h"

#include "assets/resource.h"
#include "config/Settings.h"
#include "playback/Route.h"

#include <shellapi.h>

namespace velmora::app {

namespace {

struct TrayMenuItem {
  TrayCommand command;
  const wchar_t* text;                // null: a separator
  bool TrayChecks::*check = nullptr;  // a check item: which of the checks it shows
};

constexpr TrayMenuItem kTrayMenu[] = {
    {TrayCommand::ShowBoard, L"显示界面"},
    {TrayCommand::HideBoard, L"最小化界面"},
    {TrayCommand{}, nullptr},
    {TrayCommand::Settings, L"软件设置"},
    {TrayCommand::Instructions, L"软件说明"},
    {TrayCommand::Rebuild, L"更新配置"},
    {TrayCommand::OutputSettings, L"音效输出设置"},
    {TrayCommand::Monitor, L"监听", &TrayChecks::monitor},
    {TrayCommand::Mic, L"麦克风直通", &TrayChecks::mic},
    {TrayCommand::Exit, L"退出"},
};

NOTIFYICONDATAW IconData(HWND owner, HICON icon) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = owner;
  data.uID = 1;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = icon;
  lstrcpynW(data.szTip, kTrayTip, ARRAYSIZE(data.szTip));
  return data;
}

}  // namespace

UniqueMenu CreateTrayMenu(TrayChecks checks) {
  UniqueMenu menu(::CreatePopupMenu());
  for (const TrayMenuItem& item : kTrayMenu) {
    if (!item.text) {
      ::AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const UINT checked = item.check && checks.*item.check ? MF_CHECKED : MF_UNCHECKED;
    ::AppendMenuW(menu.Get(), MF_STRING | checked, static_cast<UINT_PTR>(item.command), item.text);
  }
  return menu;
}

TrayIcon::~TrayIcon() { Remove(); }

bool TrayIcon::Add(HWND owner, HICON icon) {
  owner_ = owner;
  icon_ = icon;
  NOTIFYICONDATAW data = IconData(owner, icon);
  added_ = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  return added_;
}

void TrayIcon::Remove() {
  if (!added_) return;
  NOTIFYICONDATAW data = IconData(owner_, icon_);
  ::Shell_NotifyIconW(NIM_DELETE, &data);
  added_ = false;
}

UINT TrayIcon::TaskbarCreatedMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

void TrayIcon::ReAdd() {
  if (!owner_) return;
  // A restarted shell knows nothing of the old icon and refuses to modify it: then it is added
  // again. A shell that still has it (the message came without a restart) just keeps it.
  NOTIFYICONDATAW data = IconData(owner_, icon_);
  if (::Shell_NotifyIconW(NIM_MODIFY, &data)) {
    added_ = true;
    return;
  }
  Add(owner_, icon_);
}

void TrayIcon::ShowMenu(TrayChecks checks) {
  const UniqueMenu menu = CreateTrayMenu(checks);
  POINT cursor;
  ::GetCursorPos(&cursor);
  // Without the owner in the foreground the menu would stay open after a click elsewhere; the
  // posted WM_NULL lets a second click on the icon open it again (both documented pitfalls).
  ::SetForegroundWindow(owner_);
  ::TrackPopupMenuEx(menu.Get(), TPM_RIGHTBUTTON | TPM_BOTTOMALIGN | TPM_RIGHTALIGN, cursor.x, cursor.y, owner_, nullptr);
  ::PostMessageW(owner_, WM_NULL, 0, 0);
}

bool Tray::Add(HWND owner) {
  picture_.Reset(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0)));
  return icon_.Add(owner, picture_.Get());
}

TrayChecks Tray::StoredChecks() const {
  return TrayChecks{config::RouteSetting::Read(store_, config::DeviceSection::Monitor).on,
                    config::RouteSetting::Read(store_, config::DeviceSection::Microphone).on};
}

bool Tray::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kTrayMessage) {
    // Left button up and right button up (or the menu key) open the menu; a double click does
    // nothing of its own.
    const UINT mouse = static_cast<UINT>(lParam);
    if (mouse == WM_LBUTTONUP || mouse == WM_RBUTTONUP || mouse == WM_CONTEXTMENU) icon_.ShowMenu(StoredChecks());
    return true;
  }
  if (message == TrayIcon::TaskbarCreatedMessage()) {
    icon_.ReAdd();
    return true;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != 0 || LOWORD(wParam) < static_cast<UINT>(TrayCommand::ShowBoard) ||
      LOWORD(wParam) > static_cast<UINT>(TrayCommand::Exit))
    return false;
  const auto command = static_cast<TrayCommand>(LOWORD(wParam));
  // A check item does the opposite of what the menu showed: it was read from the same setting a
  // moment ago.
  if (command == TrayCommand::Monitor) {
    playback::SetRouteOn(player_, store_, playback::kMonitorRoute, !StoredChecks().monitor);
  } else if (command == TrayCommand::Mic) {
    playback::SetRouteOn(player_, store_, playback::kMicRoute, !StoredChecks().mic);
  } else {
    command_(command);
  }
  return true;
}

}  // namespace velmora::app
