// What the settings window's changes do: each is stored through the settings model and applied
// to the player, the hotkeys or the remote control at once.
#pragma once

#include "hotkeys/HotkeyHost.h"
#include "playback/AudioPlayer.h"
#include "ui/SettingsWindow.h"

#include <functional>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::app {

class SettingsController : public ui::SettingsActions {
 public:
  // What the controller cannot do itself: the remote control (restarted with the stored
  // setting, and what it does now), the rebuild and the instructions window.
  struct Hooks {
    std::function<ui::RemoteView()> restartRemote;
    std::function<ui::RemoteView()> currentRemote;
    std::function<void()> rebuildNow;
    std::function<void()> openInstructions;
  };
  SettingsController(playback::AudioPlayer& player, const config::ConfigStore& store, hotkeys::HotkeySwitch& hotkeys,
                     HWND hotkeyOwner, Hooks hooks)
      : player_(player), store_(store), hotkeys_(hotkeys), hotkeyOwner_(hotkeyOwner), hooks_(std::move(hooks)) {}
  void SetHotkeyOwner(HWND owner) { hotkeyOwner_ = owner; }

  void RefreshDevices() override { player_.RefreshDevices(); }
  std::wstring DeviceName(int device) override { return player_.DeviceName(device); }
  void RefreshCaptureDevices() override { player_.RefreshCaptureDevices(); }
  std::wstring CaptureDeviceName(int device) override { return player_.CaptureDeviceName(device); }
  bool PickDevice(config::DeviceSection section, int device) override;
  void SetRouteLevel(config::DeviceSection section, int level) override;
  void SetMicToMonitor(bool on) override;
  void SetMicDucking(int db) override;
  void SetHotkeys(bool on) override;
  void SetPressAgain(bool on) override;
  void SetDigitKeys(config::DigitKeys keys) override;
  void SetAutoRebuild(bool automatic) override;
  void SetLeveling(bool on) override;
  std::vector<std::wstring> RefusedHotkeys() override { return hotkeys_.FailedKeys(); }
  bool SetRemoteOn(bool on) override;
  void SetRemoteLan(bool on) override;
  void SetRemotePort(int port) override;
  bool RenewRemoteCode() override;
  ui::RemoteView RestartRemote() override { return hooks_.restartRemote(); }
  ui::RemoteView CurrentRemote() override { return hooks_.currentRemote(); }
  void RebuildNow() override { hooks_.rebuildNow(); }
  void OpenInstructions() override { hooks_.openInstructions(); }

 private:
  playback::AudioPlayer& player_;
  const config::ConfigStore& store_;
  hotkeys::HotkeySwitch& hotkeys_;
  HWND hotkeyOwner_;
  Hooks hooks_;
};

}  // namespace velmora::app
