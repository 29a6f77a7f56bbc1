#include "playback/DeviceChoice.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "playback/Microphone.h"
#include "playback/Monitor.h"
#include "playback/engine/Devices.h"

namespace velmora::playback {

int ResolveStoredEndpoint(const config::ConfigStore& store, const wchar_t* section, const wchar_t* deviceKey,
                          int device, const std::wstring& endpoint, audio::Flow flow) {
  if (endpoint.empty() || device < audio::kFirstEndpointDevice) return device;
  const std::vector<audio::Endpoint> endpoints = audio::ListEndpoints(flow);
  for (size_t i = 0; i < endpoints.size(); ++i) {
    if (endpoints[i].id != endpoint) continue;
    const int now = static_cast<int>(i) + audio::kFirstEndpointDevice;
    if (now != device) store.WriteValue(section, deviceKey, config::ConfigNumberText(now));
    return now;
  }
  return -1;
}

int ResolveStoredDevice(const config::ConfigStore& store) {
  return ResolveStoredEndpoint(
      store, config::kDeviceSection, config::kDeviceKey,
      static_cast<int>(config::ParseConfigNumber(store.ReadValue(config::kDeviceSection, config::kDeviceKey))),
      store.ReadValue(config::kDeviceSection, config::kDeviceEndpointKey));
}

bool SwitchOutputDevice(AudioPlayer& player, const config::ConfigStore& store, int device) {
  const int previous = player.Engine().Device();
  player.ReleaseLibrary();
  if (StartAudio(player, device) == 1) {
    store.WriteValue(config::kDeviceSection, config::kDeviceEndpointKey, player.Engine().EndpointId());
    ApplyMonitorSetting(player, store);  // the monitor follows: it may be the new output itself
    ApplyMicSetting(player, store);
    return true;
  }
  if (previous >= 0 && StartAudio(player, previous) == 1) {
    ApplyMonitorSetting(player, store);
    ApplyMicSetting(player, store);
  }
  return false;
}

}  // namespace velmora::playback
