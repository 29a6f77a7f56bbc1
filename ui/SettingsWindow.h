// The settings window: output device, monitor (监听) device and volume, microphone pass-through
// (麦克风直通: device, volume, to the monitor too, ducking), the remote control (遥控: on/off,
// port, LAN, access code), hotkeys on/off, digit keys, rebuild mode. Every control writes its
// setting the moment it is used (the port once it is typed out), through SettingsActions;
// closing stores nothing.
#pragma once

#include "config/Settings.h"
#include "ui/controls/ControlPaint.h"
#include "ui/controls/ScaledWindow.h"

#include <string>
#include <vector>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::ui {

// What the remote control does, as the window shows it: the state and, while it listens on the
// LAN, the address a phone on the same network opens (empty when none was found).
enum class RemoteState { Off, Listening, PortInUse, Failed };
struct RemoteView {
  RemoteState state = RemoteState::Off;
  std::string lanAddress;
};
inline constexpr wchar_t kPortInUseText[] = L"遥控端口已被占用";
inline constexpr wchar_t kRemoteFailedText[] = L"遥控开启失败";
inline constexpr wchar_t kCodeNotStoredText[] = L"新访问码未能保存，原访问码仍然有效";

// What the settings window needs from the rest of the program. The window shows the stored
// settings (config/Settings.h) and hands every change here: the program stores it and acts on
// it; the window itself never writes the configuration.
class SettingsActions {
 public:
  virtual ~SettingsActions() = default;
  // Looks at the system's devices once, at each opening: the names asked for next, and a
  // switch to one of them, are what it saw. A name is "!!!!!!" past the last device.
  virtual void RefreshDevices() = 0;
  virtual std::wstring DeviceName(int device) = 0;
  virtual void RefreshCaptureDevices() = 0;
  virtual std::wstring CaptureDeviceName(int device) = 0;
  // A pick from one of the three device lists: for the output, the audio is released and
  // started on `device`, stored only on success (on failure the audio comes back on the device
  // that was in use); for the monitor and the microphone, `device` or playback::kRouteOff, stored either
  // way. False when the device could not be opened.
  virtual bool PickDevice(config::DeviceSection section, int device) = 0;
  // Each route's own volume 1..100; the voice to the monitor too; how far the voice is lowered
  // while an effect plays (0..30 dB).
  virtual void SetRouteLevel(config::DeviceSection section, int level) = 0;
  virtual void SetMicToMonitor(bool on) = 0;
  virtual void SetMicDucking(int db) = 0;
  // Hotkeys on (stored, loaded unless they are) or off (stored and released, when loaded).
  virtual void SetHotkeys(bool on) = 0;
  // 再按停止: stored; loaded hotkeys are registered again to match.
  virtual void SetPressAgain(bool on) = 0;
  virtual void SetDigitKeys(config::DigitKeys keys) = 0;
  virtual void SetAutoRebuild(bool automatic) = 0;
  // 音量均衡: stored, from the next play on.
  virtual void SetLeveling(bool on) = 0;
  // The keys the system refused to register for the hotkeys ("F5", "Alt+Q"); none while off.
  virtual std::vector<std::wstring> RefusedHotkeys() = 0;
  // The remote control: stored changes (switching on makes the code when there is none; false
  // when that failed), a new code (false when it could not be made or stored: the old one is
  // still in force), and starting, restarting or stopping it as section 遥控 says now.
  virtual bool SetRemoteOn(bool on) = 0;
  virtual void SetRemoteLan(bool on) = 0;
  virtual void SetRemotePort(int port) = 0;
  virtual bool RenewRemoteCode() = 0;
  virtual RemoteView RestartRemote() = 0;
  virtual RemoteView CurrentRemote() = 0;
  virtual void RebuildNow() = 0;
  virtual void OpenInstructions() = 0;
};

// Leads the list of hotkeys another program holds: "以下快捷键被其他程序占用：F5、Alt+Q".
inline constexpr wchar_t kRefusedText[] = L"以下快捷键被其他程序占用：";
std::wstring RefusedHotkeysText(const std::vector<std::wstring>& keys);

// Shows a message as the settings window does: caption "信息：", OK, no icon, modal over `owner`.
void ShowInformation(HWND owner, const wchar_t* text);

class SettingsWindow final : public ScaledWindow {
 public:
  static constexpr wchar_t kClassName[] = L"VelmoraSettings";
  static constexpr int kMaxDevice = 128;
  enum ControlId : int {
    kDeviceCombo = 201,
    kHotkeysOn,
    kHotkeysOff,
    kKeypad,
    kMainKeyboard,
    kAutoRebuild,
    kManualRebuild,
    kDeviceLabel,
    kMonitorCombo,
    kMonitorLabel,
    kMonitorLevel,
    kMonitorLevelLabel,
    kMicCombo,
    kMicLabel,
    kMicLevel,
    kMicLevelLabel,
    kMicToMonitor,
    kMicDucking,
    kMicDuckingLabel,
    kRemoteOn,
    kRemotePortLabel,
    kRemotePort,
    kRemoteLan,
    kRemoteCodeLabel,
    kRemoteCode,
    kRemoteNewCode,
    kRemoteStatus,
    kLeveling,
    kPressAgain,
    kRefusedHotkeys,
    kRemoteShowCode,
    kRemoteCopyCode
  };
  // kMonitorCombo holds "不监听" and then the output list's devices: its item k (k >= 1) is
  // device k, the output list's item k - 1. kMonitorLevel is a trackbar of 1..100.
  // kMicCombo holds "不使用" and then the capture devices: its item k (k >= 1) is capture device
  // k. kMicLevel is a trackbar like kMonitorLevel; kMicDucking's items are 0, 6, .. 30 dB.
  // kRemotePort is stored when it loses the focus or a second after the last keystroke;
  // kRemoteCode and kRemoteStatus are read-only edits: the stored code, and what the control
  // does (the phone's address while it listens on the LAN). The host's screen may be on air, so
  // the code shows as ●, in both, except while kRemoteShowCode is held down; kRemoteCopyCode
  // puts it on the clipboard.
  // kRefusedHotkeys is a read-only edit: kRefusedText and the refused keys, or nothing.
  enum class Button { Close, RebuildNow, Instructions, Ok, None };

  // Opens it without waiting (SettingsDialog runs it modally; tests drive it); the window deletes
  // nothing, the caller keeps it.
  SettingsWindow(const config::ConfigStore& store, SettingsActions& actions) : store_(store), actions_(actions) {}
  bool Open(HWND owner);

  HWND Control(ControlId id) const { return ::GetDlgItem(Hwnd(), id); }
  RECT ButtonRect(Button button) const;
  void OnButton(Button button);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;

 private:
  void CreateControls();
  void Fill();
  void FillMic();
  void FillRemote();
  // Restarts the remote control and shows what it does.
  void ApplyRemote();
  void ShowRemote(const RemoteView& view);
  // The code and the status line, the code in clear while 显示 is held, masked otherwise.
  void ShowRemoteTexts(std::wstring status);
  void RevealCode(bool reveal);
  void CopyCode() const;
  static LRESULT CALLBACK ShowCodeButton(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self);
  // Stores the port typed, when it differs from the stored one; a text that is no port shows
  // the stored one again.
  void CommitPort();
  void ShowRefusedHotkeys();
  void OnCommand(int id, int code);
  void OnListPick(ControlId list);  // a device or ducking list changed its selection
  void OnRemoteCommand(ControlId id, int code);
  void OnChoice(ControlId id);  // the check boxes and radio buttons
  // Reads volume trackbar `trackbar` into `shown`; true when that is a level not stored yet.
  bool LevelMoved(ControlId trackbar, int& shown);
  void Paint(HDC dc) override;
  Button ButtonAt(POINT point) const;

  const config::ConfigStore& store_;
  SettingsActions& actions_;
  UniqueBrush background_;
  Button hover_ = Button::None;
  int monitorLevel_ = 0;  // what the monitor volume control last stored or showed
  int micLevel_ = 0;      // the same for the microphone's
  bool portTyped_ = false;  // the port edit holds text not yet stored
  std::wstring code_;          // the stored code as the window shows it (masked or not)
  std::wstring remoteStatus_;  // the status line, the code in clear
  bool codeRevealed_ = false;
};

// The one settings window the program opens: modal over its owner (disabled meanwhile), and
// Run returns when it is closed. Asked again while it is open, it brings the open one forward
// and returns.
class SettingsDialog {
 public:
  SettingsDialog(const config::ConfigStore& store, SettingsActions& actions) : store_(store), actions_(actions) {}
  void Run(HWND owner);
  // The window Run has open, or null.
  HWND OpenWindow() const;

 private:
  const config::ConfigStore& store_;
  SettingsActions& actions_;
  SettingsWindow* open_ = nullptr;  // on Run's stack while its loop runs
};

}  // namespace velmora::ui
