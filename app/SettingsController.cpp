#include "app/SettingsController.h"

#include "app/RemoteSetup.h"
#include "config/Settings.h"
#include "playback/DeviceChoice.h"
#include "playback/Leveling.h"
#include "playback/Route.h"

namespace velmora::app {

namespace {

const playback::Route& RouteOf(config::DeviceSection section) {
  return section == config::DeviceSection::Monitor ? playback::kMonitorRoute : playback::kMicRoute;
}

}  // namespace

bool SettingsController::PickDevice(config::DeviceSection section, int device) {
  if (section == config::DeviceSection::Output) return playback::SwitchOutputDevice(player_, store_, device);
  return playback::SwitchRouteDevice(player_, store_, RouteOf(section), device);
}

void SettingsController::SetRouteLevel(config::DeviceSection section, int level) {
  if (section == config::DeviceSection::Output) return;  // the board's volume is the board's
  playback::SetRouteLevel(player_, store_, RouteOf(section), level);
}

void SettingsController::SetMicToMonitor(bool on) { playback::SetMicToMonitor(player_, store_, on); }

void SettingsController::SetMicDucking(int db) { playback::SetMicDucking(player_, store_, db); }

void SettingsController::SetHotkeys(bool on) {
  if (on) {
    config::HotkeySwitchSetting::Write(store_, true);
    hotkeys_.Load(hotkeyOwner_);  // never a second host
    return;
  }
  // Off while they are not loaded stores nothing: what was stored stays.
  if (!hotkeys_.Loaded()) return;
  config::HotkeySwitchSetting::Write(store_, false);
  hotkeys_.Unload();
}

void SettingsController::SetPressAgain(bool on) {
  config::PressAgainSetting::Write(store_, on);
  // Registered again with or without the system's repeat, which a second press must not see.
  if (!hotkeys_.Loaded()) return;
  hotkeys_.Unload();
  hotkeys_.Load(hotkeyOwner_);
}

void SettingsController::SetDigitKeys(config::DigitKeys keys) { config::KeyboardSetting::Write(store_, keys); }

void SettingsController::SetAutoRebuild(bool automatic) { config::AutoRebuildSetting::Write(store_, automatic); }

void SettingsController::SetLeveling(bool on) { playback::SetLevelingOn(player_, store_, on); }

bool SettingsController::SetRemoteOn(bool on) { return app::SetRemoteOn(store_, on); }

void SettingsController::SetRemoteLan(bool on) { config::RemoteSetting::WriteLan(store_, on); }

void SettingsController::SetRemotePort(int port) {
  if (port >= 1 && port <= 65535) config::RemoteSetting::WritePort(store_, port);
}

bool SettingsController::RenewRemoteCode() { return !RenewToken(store_).empty(); }

}  // namespace velmora::app
