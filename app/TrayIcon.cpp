#include "app/TrayIcon.h"

#include <shellapi.h>

namespace velmora::app {

namespace {

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

void TrayIcon::ShowMenu() {
  HMENU menu = ::CreatePopupMenu();
  auto item = [menu](TrayCommand command, const wchar_t* text) {
    ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(command), text);
  };
  item(TrayCommand::ShowBoard, L"显示界面");
  item(TrayCommand::HideBoard, L"最小化界面");
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  item(TrayCommand::Settings, L"软件设置");
  item(TrayCommand::Instructions, L"软件说明");
  item(TrayCommand::Rebuild, L"更新配置");
  item(TrayCommand::OutputSettings, L"音效输出设置");
  item(TrayCommand::Exit, L"退出");
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
