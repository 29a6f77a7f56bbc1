// The settings window: output device, monitor (监听) device and volume, microphone pass-through
// (麦克风直通: device, volume, to the monitor too, ducking), the remote control (遥控: on/off,
// port, LAN, access code), hotkeys on/off, digit keys, rebuild mode. Every control writes its
// setting the moment it is used (the port once it is typed out); closing never writes.
#pragma once

#include "ui/controls/ControlPaint.h"
#include "remote/RemoteSettings.h"
#include "ui/controls/ScaledWindow.h"

#include <string>
#include <vector>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::ui {

// What the settings window needs from the rest of the program.
class SettingsActions {
 public:
  virtual ~SettingsActions() = default;
  // Looks at the system's devices once, at each opening: the names asked for next, and a
  // switch to one of them, are what it saw.
  virtual void RefreshDevices() = 0;
  // The name of device n, or "!!!!!!".
  virtual std::wstring DeviceName(int device) = 0;
  // Releases the audio and starts it on `device`. On failure the audio is started again on the
  // device that was in use, so the program keeps its sound. True on success.
  virtual bool SwitchOutputDevice(int device) = 0;
  // Puts the monitor on `device` (numbered as for DeviceName), or switches it off for
  // playback::kMonitorOff; stores the choice either way. False when the device could not be
  // opened.
  virtual bool SwitchMonitorDevice(int device) = 0;
  // The monitor's own volume, 1..100; stored.
  virtual void SetMonitorLevel(int level) = 0;
  // The capture devices, as RefreshDevices for the outputs: one look at each opening, and
  // CaptureDeviceName(n) names device n (1 the default capture device) or says "!!!!!!".
  virtual void RefreshCaptureDevices() = 0;
  virtual std::wstring CaptureDeviceName(int device) = 0;
  // Puts the microphone on capture device `device`, or switches it off for playback::kMicOff;
  // stores the choice either way. False when the device could not be opened.
  virtual bool SwitchMicDevice(int device) = 0;
  // The voice's volume 1..100, whether it goes to the monitor too, and how far it is lowered
  // while an effect plays (0..30 dB); each stored.
  virtual void SetMicLevel(int level) = 0;
  virtual void SetMicToMonitor(bool on) = 0;
  virtual void SetMicDucking(int db) = 0;
  // Starts, restarts or stops the remote control as section 遥控 says now; and what it does.
  virtual remote::RemoteStatus RestartRemote() = 0;
  virtual remote::RemoteStatus CurrentRemoteStatus() = 0;
  virtual void HotkeysOn() = 0;
  virtual void HotkeysOff() = 0;
  virtual bool HotkeysLoaded() = 0;
  // The keys the system refused to register for the hotkeys ("F5", "Alt+Q"); none while off.
  virtual std::vector<std::wstring> RefusedHotkeys() = 0;
  // 再按停止 was switched (the window stored it): loaded hotkeys are registered again to match.
  virtual void PressAgainChanged() = 0;
  // 音量均衡: whether it is on as stored, and switching it (stored; from the next play on).
  virtual bool LevelingOn() = 0;
  virtual void SetLeveling(bool on) = 0;
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

  // Opens the window modally (owner disabled meanwhile) and returns when it is closed. There is
  // only ever one: asked again while it is open, it brings the open one forward and returns.
  static void RunModal(const config::ConfigStore& store, SettingsActions& actions, HWND owner);
  // The window RunModal has open, or null.
  static HWND OpenWindow();
  // Opens it without waiting (tests drive it); the window deletes nothing, the caller keeps it.
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
  void ShowRemote(remote::RemoteStatus status);
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

}  // namespace velmora::ui
