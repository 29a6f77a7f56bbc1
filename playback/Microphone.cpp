#include "playback/Microphone.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "playback/DeviceChoice.h"
#include "playback/Playback.h"

#include <algorithm>

namespace velmora::playback {

MicSetting ReadMicSetting(const config::ConfigStore& store) {
  using namespace config;
  MicSetting setting;
  setting.on = store.ReadValue(kMicSection, kMicSwitchKey) == kOn;
  const long device = ParseConfigNumber(store.ReadValue(kMicSection, kMicDeviceKey));
  if (device >= audio::kDefaultDevice && device <= 1000) setting.device = static_cast<int>(device);
  setting.endpoint = store.ReadValue(kMicSection, kMicEndpointKey);
  const std::wstring level = store.ReadValue(kMicSection, kMicVolumeKey);
  if (!level.empty())
    setting.level = static_cast<int>(std::clamp<long>(ParseConfigNumber(level), kMinVolumeLevel, kMaxVolumeLevel));
  setting.toMonitor = store.ReadValue(kMicSection, kMicToMonitorKey) == kOn;
  setting.duckingDb =
      static_cast<int>(std::clamp<long>(ParseConfigNumber(store.ReadValue(kMicSection, kMicDuckingKey)), 0, kMaxMicDuckingDb));
  return setting;
}

void ApplyMicSetting(AudioPlayer& player, const config::ConfigStore& store) {
  const MicSetting setting = ReadMicSetting(store);
  player.SetMicLevel(setting.level);
  player.SetMicToMonitor(setting.toMonitor);
  player.SetMicDucking(setting.duckingDb);
  if (!setting.on) {
    player.StopMic();
    return;
  }
  const int device = ResolveStoredEndpoint(store, config::kMicSection, config::kMicDeviceKey, setting.device,
                                           setting.endpoint, audio::Flow::Capture);
  if (device < 0) {
    player.StopMic();
    return;
  }
  player.StartMic(device, device >= audio::kFirstEndpointDevice ? setting.endpoint : std::wstring());
}

bool SwitchMicDevice(AudioPlayer& player, const config::ConfigStore& store, int device) {
  using namespace config;
  if (device == kMicOff) {
    store.WriteValue(kMicSection, kMicSwitchKey, kOff);
    player.StopMic();
    return true;
  }
  const std::wstring endpoint = player.CaptureEndpointId(device);
  store.WriteValue(kMicSection, kMicSwitchKey, kOn);
  store.WriteValue(kMicSection, kMicDeviceKey, ConfigNumberText(device));
  store.WriteValue(kMicSection, kMicEndpointKey, endpoint);
  return player.StartMic(device, endpoint);
}

void SetMicOn(AudioPlayer& player, const config::ConfigStore& store, bool on) {
  store.WriteValue(config::kMicSection, config::kMicSwitchKey, on ? config::kOn : config::kOff);
  ApplyMicSetting(player, store);
}

void SetMicLevel(AudioPlayer& player, const config::ConfigStore& store, int level) {
  level = std::clamp(level, kMinVolumeLevel, kMaxVolumeLevel);
  store.WriteValue(config::kMicSection, config::kMicVolumeKey, config::ConfigNumberText(level));
  player.SetMicLevel(level);
}

void SetMicToMonitor(AudioPlayer& player, const config::ConfigStore& store, bool on) {
  store.WriteValue(config::kMicSection, config::kMicToMonitorKey, on ? config::kOn : config::kOff);
  player.SetMicToMonitor(on);
}

void SetMicDucking(AudioPlayer& player, const config::ConfigStore& store, int db) {
  db = std::clamp(db, 0, kMaxMicDuckingDb);
  store.WriteValue(config::kMicSection, config::kMicDuckingKey, config::ConfigNumberText(db));
  player.SetMicDucking(db);
}

}  // namespace velmora::playback
