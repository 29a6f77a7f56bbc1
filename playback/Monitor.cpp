#include "playback/Monitor.h"

#include "config/ConfigKeys.h"

namespace velmora::playback {

namespace {

const Route kMonitor{config::kMonitorSection,     config::kMonitorSwitchKey,  config::kMonitorDeviceKey,
                     config::kMonitorEndpointKey, config::kMonitorVolumeKey,  audio::Flow::Render,
                     &AudioPlayer::StartMonitor,  &AudioPlayer::StopMonitor,  &AudioPlayer::EndpointId,
                     &AudioPlayer::SetMonitorLevel};

}  // namespace

MonitorSetting ReadMonitorSetting(const config::ConfigStore& store) { return ReadRoute(store, kMonitor); }

void ApplyMonitorSetting(AudioPlayer& player, const config::ConfigStore& store) { ApplyRoute(player, store, kMonitor); }

bool SwitchMonitorDevice(AudioPlayer& player, const config::ConfigStore& store, int device) {
  return SwitchRouteDevice(player, store, kMonitor, device);
}

void SetMonitorOn(AudioPlayer& player, const config::ConfigStore& store, bool on) {
  SetRouteOn(player, store, kMonitor, on);
}

void SetMonitorLevel(AudioPlayer& player, const config::ConfigStore& store, int level) {
  SetRouteLevel(player, store, kMonitor, level);
}

}  // namespace velmora::playback
