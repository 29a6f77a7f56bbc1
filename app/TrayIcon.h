// The notification-area icon and its menu (TrayMenu), and the tray as the board's messages
// reach it.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <functional>

namespace velmora::config {
class ConfigStore;
}
namespace velmora::playback {
class AudioPlayer;
}

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

// TrayMenu as a popup menu, its check items as `checks` says.
UniqueMenu CreateTrayMenu(TrayChecks checks);

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

// The tray: the menu opened on a click of the icon, the icon added again when the shell
// restarts, and the menu's commands. The two check items switch their route (监听, 麦克风直通)
// here; the rest go to `command`.
class Tray {
 public:
  Tray(playback::AudioPlayer& player, const config::ConfigStore& store, std::function<void(TrayCommand)> command)
      : player_(player), store_(store), command_(std::move(command)) {}

  // Adds the program's icon, at the small-icon size; its reports go to `owner` (the board).
  bool Add(HWND owner);
  void Remove() { icon_.Remove(); }
  // One of the board's messages: true when it was the tray's.
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  TrayChecks StoredChecks() const;

  playback::AudioPlayer& player_;
  const config::ConfigStore& store_;
  std::function<void(TrayCommand)> command_;
  UniqueIcon picture_;
  TrayIcon icon_;  // after the picture: removed before it is destroyed
};

}  // namespace velmora::app
