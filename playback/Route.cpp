#include "playback/Route.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "playback/DeviceChoice.h"
#include "playback/Playback.h"

#include <algorithm>

namespace velmora::playback {

RouteSetting ReadRoute(const config::ConfigStore& store, const Route& route) {
  RouteSetting setting;
  setting.on = store.ReadValue(route.section, route.switchKey) == config::kOn;
  const long device = config::ParseConfigNumber(store.ReadValue(route.section, route.deviceKey));
  if (device >= audio::kDefaultDevice && device <= 1000) setting.device = static_cast<int>(device);
  setting.endpoint = store.ReadValue(route.section, route.endpointKey);
  const std::wstring level = store.ReadValue(route.section, route.volumeKey);
  if (!level.empty())
    setting.level =
        static_cast<int>(std::clamp<long>(config::ParseConfigNumber(level), kMinVolumeLevel, kMaxVolumeLevel));
  return setting;
}

void ApplyRoute(AudioPlayer& player, const config::ConfigStore& store, const Route& route) {
  const RouteSetting setting = ReadRoute(store, route);
  (player.*route.setLevel)(setting.level);
  if (!setting.on) {
    (player.*route.stop)();
    return;
  }
  const int device =
      ResolveStoredEndpoint(store, route.section, route.deviceKey, setting.device, setting.endpoint, route.flow);
  if (device < 0) {
    (player.*route.stop)();
    return;
  }
  (player.*route.start)(device, device >= audio::kFirstEndpointDevice ? setting.endpoint : std::wstring());
}

bool SwitchRouteDevice(AudioPlayer& player, const config::ConfigStore& store, const Route& route, int device) {
  if (device == kRouteOff) {
    store.WriteValue(route.section, route.switchKey, config::kOff);
    (player.*route.stop)();
    return true;
  }
  // The endpoint that was listed, as for the output device.
  const std::wstring endpoint = (player.*route.endpointId)(device);
  store.WriteValue(route.section, route.switchKey, config::kOn);
  store.WriteValue(route.section, route.deviceKey, config::ConfigNumberText(device));
  store.WriteValue(route.section, route.endpointKey, endpoint);
  return (player.*route.start)(device, endpoint);
}

void SetRouteOn(AudioPlayer& player, const config::ConfigStore& store, const Route& route, bool on) {
  store.WriteValue(route.section, route.switchKey, on ? config::kOn : config::kOff);
  ApplyRoute(player, store, route);
}

void SetRouteLevel(AudioPlayer& player, const config::ConfigStore& store, const Route& route, int level) {
  level = std::clamp(level, kMinVolumeLevel, kMaxVolumeLevel);
  store.WriteValue(route.section, route.volumeKey, config::ConfigNumberText(level));
  (player.*route.setLevel)(level);
}

}  // namespace velmora::playback
