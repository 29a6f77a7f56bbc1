#include "playback/DeviceChoice.h"

#include "playback/Route.h"
#include "playback/engine/Devices.h"

namespace velmora::playback {

int ResolveStoredEndpoint(const config::ConfigStore& store, config::DeviceSection section, int device,
                          const std::wstring& endpoint, audio::Flow flow) {
  if (endpoint.empty() || device < audio::kFirstEndpointDevice) return device;
  const std::vector<audio::Endpoint> endpoints = audio::ListEndpoints(flow);
  for (size_t i = 0; i < endpoints.size(); ++i) {
    if (endpoints[i].id != endpoint) continue;
    const int now = static_cast<int>(i) + audio::kFirstEndpointDevice;
    if (now != device) config::WriteDeviceNumber(store, section, now);
    return now;
  }
  return -1;
}

int ResolveStoredDevice(const config::ConfigStore& store) {
  const config::OutputDeviceSetting stored = config::OutputDeviceSetting::Read(store);
  return ResolveStoredEndpoint(store, config::DeviceSection::Output, stored.device, stored.endpoint);
}

bool SwitchOutputDevice(AudioPlayer& player, const config::ConfigStore& store, int device) {
  const int previous = player.Engine().Device();
  player.ReleaseLibrary();
  if (StartAudio(player, device) == 1) {
    config::OutputDeviceSetting::WriteEndpoint(store, player.Engine().EndpointId());
    config::OutputDeviceSetting::WriteDevice(store, device);
    ApplyRoute(player, store, kMonitorRoute);  // the monitor follows: it may be the new output itself
    ApplyMic(player, store);
    return true;
  }
  if (previous >= 0 && StartAudio(player, previous) == 1) {
    ApplyRoute(player, store, kMonitorRoute);
    ApplyMic(player, store);
  }
  return false;
}

}  // namespace velmora::playback
