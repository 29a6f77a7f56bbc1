// The notification-area icon and its menu (TrayMenu).
#pragma once

#include <windows.h>

namespace velmora::app {

inline constexpr UINT kTrayMessage = WM_APP + 1;
inline constexpr wchar_t kTrayTip[] = L"Velmora音效";

// TrayMenu's commands, in menu order.
enum class TrayCommand : UINT {
  ShowBoard = 40001,  // 显示界面
  HideBoard,          // 最小化界面
  Settings,           // 软件设置
  Instructions,       // 软件说明
  Rebuild,            // 更新配置
  OutputSettings,     // 音效输出设置
  Monitor,            // 监听 (a check item)
  Mic,                // 麦克风直通 (a check item)
  Exit,               // 退出
};

// What the check items of TrayMenu show: the stored 开关 of 监听 and of 麦克风.
struct TrayChecks {
  bool monitor = false;
  bool mic = false;
};

// TrayMenu as a popup menu, its check items as `checks` says; the caller destroys it.
HMENU CreateTrayMenu(TrayChecks checks);

class TrayIcon {
 public:
  TrayIcon() = default;
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Adds the icon; its mouse reports go to `owner` as kTrayMessage.
  bool Add(HWND owner, HICON icon);
  void Remove();
  bool Added() const { return added_; }

  // The shell restarted ("TaskbarCreated"): the icon has to be added again.
  static UINT TaskbarCreatedMessage();
  void ReAdd();

  // Pops TrayMenu up at the cursor, owned by the owner window; the chosen command arrives as
  // WM_COMMAND. Closes when the user clicks elsewhere.
  void ShowMenu(TrayChecks checks);

 private:
  HWND owner_ = nullptr;
  HICON icon_ = nullptr;
  bool added_ = false;
};

}  // namespace velmora::app
