// The program as a whole: start-up, the notification-area icon and its menu, showing and hiding
// the board, the rebuilds, and shut-down.
#pragma once

#include "app/TrayIcon.h"
#include "base/Handles.h"
#include "config/ConfigStore.h"
#include "config/Location.h"
#include "hotkeys/Assignment.h"
#include "hotkeys/HotkeyHost.h"
#include "playback/AudioPlayer.h"
#include "playback/Playback.h"
#include "remote/RemoteControl.h"
#include "skin/SkinEngine.h"
#include "ui/MainWindow.h"
#include "ui/SettingsWindow.h"

namespace velmora::app {

class App final : public ui::BoardActions,
                  public config::LocationChangeHandler,
                  public hotkeys::HotkeyActions,
                  public ui::SettingsActions,
                  public remote::RemoteActions {
 public:
  App();
  // Runs the program; it ends the process itself (exit code 0) when the board is closed.
  int Run();

  // ui::BoardActions
  void PlayEffect(config::EffectSlot slot) override;
  void EditEffect(config::EffectSlot slot) override;
  void StopPlayback() override;
  void StepVolume(int delta) override;
  void OpenOutputSettings() override;
  void OpenLink(const wchar_t* url) override;
  void BoardDestroyed() override;
  bool BoardMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Files dropped on an effect button: ui::DropFilesOnSlot (which reloads the captions).
  void DropFiles(config::EffectSlot slot, std::vector<std::wstring> paths) override;

  // hotkeys::HotkeyActions: the hotkey road plays at its slot's level of full volume.
  void PlayFile(const std::wstring& path, int slotLevel) override;

  // ui::SettingsActions
  void RefreshDevices() override;
  std::wstring DeviceName(int device) override;
  bool SwitchOutputDevice(int device) override;
  bool SwitchMonitorDevice(int device) override;
  void SetMonitorLevel(int level) override;
  void RefreshCaptureDevices() override;
  std::wstring CaptureDeviceName(int device) override;
  bool SwitchMicDevice(int device) override;
  void SetMicLevel(int level) override;
  void SetMicToMonitor(bool on) override;
  void SetMicDucking(int db) override;
  // Starts the remote control with section 遥控 as stored now (restarting it when it runs), or
  // stops it when that says off.
  remote::RemoteStatus RestartRemote() override;
  remote::RemoteStatus CurrentRemoteStatus() override { return remote_.Status(); }
  void HotkeysOn() override;
  void HotkeysOff() override;
  bool HotkeysLoaded() override;
  std::vector<std::wstring> RefusedHotkeys() override;
  void PressAgainChanged() override;
  bool LevelingOn() override;
  void SetLeveling(bool on) override;
  void RebuildNow() override;
  void OpenInstructions() override;

  // config::LocationChangeHandler
  void RunRebuild() override;
  void HideMainWindow() override;

  // remote::RemoteActions (StopPlayback and StepVolume are the board's own, above)
  remote::BoardView Slots() override;
  remote::BoardState State() override;
  remote::PlayOutcome PlaySlot(int category, int index) override;
  remote::PlayOutcome PlayHotkey(const std::wstring& name) override;
  void SetVolumeLevel(int level) override;

 private:
  void StartupSequence();
  [[noreturn]] void ShutdownSequence();
  [[noreturn]] void EndSecondInstance();
  void RebuildInNotice();  // the notice window, with the rebuild inside
  void ShowMainWindow();
  void OnTrayCommand(TrayCommand command);
  void LoadHotkeyHost();
  void OpenSettings(HWND owner);
  int StoredDevice();
  playback::PlayResult PlayFromBoard(config::EffectSlot slot);
  playback::PlayResult PlayFromHotkey(const std::wstring& path, int slotLevel);
  void NotifyRemote(remote::BoardEvent event);

  skin::SkinModule skin_;  // first: started before any window, ended after them
  config::ConfigStore store_;
  playback::AudioPlayer player_;
  playback::MessageBoxReporter reporter_;
  hotkeys::MessageBoxConflictReporter conflicts_;
  playback::Playback playback_;
  ui::MainWindow board_;
  TrayIcon tray_;
  remote::RemoteControl remote_{*this};
  // What played last, for the remote control's state: a slot, or a hotkey's file whose slot is
  // looked up only when someone asks.
  config::EffectSlot lastSlot_{};
  std::wstring lastHotkeyFile_;
  UniqueFile lock_;
  HICON trayIcon_ = nullptr;
  bool startHidden_ = false;
};

}  // namespace velmora::app
