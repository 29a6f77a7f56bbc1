#include "playback/Monitor.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "playback/DeviceChoice.h"
#include "playback/Playback.h"
#include "playback/engine/Devices.h"

#include <algorithm>

namespace velmora::playback {

MonitorSetting ReadMonitorSetting(const config::ConfigStore& store) {
  MonitorSetting setting;
  setting.on = store.ReadValue(config::kMonitorSection, config::kMonitorSwitchKey) == config::kOn;
  const long device = config::ParseConfigNumber(store.ReadValue(config::kMonitorSection, config::kMonitorDeviceKey));
  if (device >= audio::kDefaultDevice && device <= 1000) setting.device = static_cast<int>(device);
  setting.endpoint = store.ReadValue(config::kMonitorSection, config::kMonitorEndpointKey);
  const std::wstring level = store.ReadValue(config::kMonitorSection, config::kMonitorVolumeKey);
  if (!level.empty())
    setting.level =
        static_cast<int>(std::clamp<long>(config::ParseConfigNumber(level), kMinVolumeLevel, kMaxVolumeLevel));
  return setting;
}

void ApplyMonitorSetting(AudioPlayer& player, const config::ConfigStore& store) {
  const MonitorSetting setting = ReadMonitorSetting(store);
  player.SetMonitorLevel(setting.level);
  if (!setting.on) {
    player.StopMonitor();
    return;
  }
  const int device =
      ResolveStoredEndpoint(store, config::kMonitorSection, config::kMonitorDeviceKey, setting.device, setting.endpoint);
  if (device < 0) {
    player.StopMonitor();
    return;
  }
  player.StartMonitor(device, device >= audio::kFirstEndpointDevice ? setting.endpoint : std::wstring());
}

bool SwitchMonitorDevice(AudioPlayer& player, const config::ConfigStore& store, int device) {
  if (device == kMonitorOff) {
    store.WriteValue(config::kMonitorSection, config::kMonitorSwitchKey, config::kOff);
    player.StopMonitor();
    return true;
  }
  // The endpoint that was listed, as for the output device.
  const std::wstring endpoint = player.EndpointId(device);
  store.WriteValue(config::kMonitorSection, config::kMonitorSwitchKey, config::kOn);
  store.WriteValue(config::kMonitorSection, config::kMonitorDeviceKey, config::ConfigNumberText(device));
  store.WriteValue(config::kMonitorSection, config::kMonitorEndpointKey, endpoint);
  return player.StartMonitor(device, endpoint);
}

void SetMonitorOn(AudioPlayer& player, const config::ConfigStore& store, bool on) {
  store.WriteValue(config::kMonitorSection, config::kMonitorSwitchKey, on ? config::kOn : config::kOff);
  ApplyMonitorSetting(player, store);
}

void SetMonitorLevel(AudioPlayer& player, const config::ConfigStore& store, int level) {
  level = std::clamp(level, kMinVolumeLevel, kMaxVolumeLevel);
  store.WriteValue(config::kMonitorSection, config::kMonitorVolumeKey, config::ConfigNumberText(level));
  player.SetMonitorLevel(level);
}

}  // namespace velmora::playback
