#include "app/TrayIcon.h"

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

HMENU CreateTrayMenu(TrayChecks checks) {
  HMENU menu = ::CreatePopupMenu();
  for (const TrayMenuItem& item : kTrayMenu) {
    if (!item.text) {
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const UINT checked = item.check && checks.*item.check ? MF_CHECKED : MF_UNCHECKED;
    ::AppendMenuW(menu, MF_STRING | checked, static_cast<UINT_PTR>(item.command), item.text);
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
  HMENU menu = CreateTrayMenu(checks);
  POINT cursor;
  ::GetCursorPos(&cursor);
  // Without the owner in the foreground the menu would stay open after a click elsewhere; the
  // posted WM_NULL lets a second click on the icon open it again (both documented pitfalls).
  ::SetForegroundWindow(owner_);
  ::TrackPopupMenuEx(menu, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN | TPM_RIGHTALIGN, cursor.x, cursor.y, owner_, nullptr);
  ::PostMessageW(owner_, WM_NULL, 0, 0);
  ::DestroyMenu(menu);
}

}  // namespace velmora::app
