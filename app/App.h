// The program as a whole: the start-up and shut-down order, the message loop, and the board's
// actions handed to the unit that does each: the roads by which effects play (PlayRoads), the
// remote control (RemoteLink), the settings window's changes (SettingsController), the tray
// (Tray) and the hotkeys (HotkeySwitch).
#pragma once

#include "app/PlayRoads.h"
#include "app/RemoteLink.h"
#include "app/SettingsController.h"
#include "app/TrayIcon.h"
#include "base/Handles.h"
#include "config/ConfigStore.h"
#include "config/Location.h"
#include "hotkeys/Assignment.h"
#include "hotkeys/HotkeyHost.h"
#include "playback/AudioPlayer.h"
#include "playback/Playback.h"
#include "skin/SkinEngine.h"
#include "ui/EditorWindow.h"
#include "ui/MainWindow.h"
#include "ui/SettingsWindow.h"

namespace velmora::app {

class App final : public ui::BoardActions, public config::LocationChangeHandler {
 public:
  App();
  // Runs the program; it ends the process itself (exit code 0) when the board is closed.
  int Run();

  // ui::BoardActions
  void PlayEffect(config::EffectSlot slot) override { roads_.PlayFromBoard(slot); }
  void EditEffect(config::EffectSlot slot) override;
  void StopPlayback() override { roads_.StopPlayback(); }
  void StepVolume(int delta) override { roads_.StepVolume(delta); }
  void OpenOutputSettings() override { OpenSettings(); }
  void OpenLink(const wchar_t* url) override;
  void BoardDestroyed() override { ShutdownSequence(); }
  bool BoardMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Files dropped on an effect button: ui::DropFilesOnSlot (which reloads the captions).
  void DropFiles(config::EffectSlot slot, std::vector<std::wstring> paths) override;

  // config::LocationChangeHandler
  void RunRebuild() override { RebuildInNotice(); }
  void HideMainWindow() override;

 private:
  void StartupSequence();
  void StartAudioAsStored();
  [[noreturn]] void ShutdownSequence();
  [[noreturn]] void EndSecondInstance();
  void RebuildInNotice();  // the notice window, with the rebuild inside
  void ShowMainWindow();
  void OnTrayCommand(TrayCommand command);
  void OpenSettings();
  void CaptionsChanged();

  skin::SkinModule skin_;  // first: started before any window, ended after them
  config::ConfigStore store_;
  playback::AudioPlayer player_;
  playback::MessageBoxReporter reporter_;
  hotkeys::MessageBoxConflictReporter conflicts_;
  playback::Playback playback_;
  ui::MainWindow board_;
  ui::EditorHost editors_;
  PlayRoads roads_;
  hotkeys::HotkeySwitch hotkeys_;
  RemoteLink remote_;
  SettingsController settings_;
  ui::SettingsDialog settingsDialog_{store_, settings_};
  Tray tray_;
  UniqueFile lock_;
  bool startHidden_ = false;
};

}  // namespace velmora::app
