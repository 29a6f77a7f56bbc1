#include "playback/Route.h"

#include "playback/DeviceChoice.h"
#include "playback/Playback.h"

#include <algorithm>

namespace velmora::playback {

const Route kMonitorRoute{config::DeviceSection::Monitor, audio::Flow::Render, &AudioPlayer::StartMonitor,
                          &AudioPlayer::StopMonitor,      &AudioPlayer::EndpointId,  &AudioPlayer::SetMonitorLevel};
const Route kMicRoute{config::DeviceSection::Microphone, audio::Flow::Capture, &AudioPlayer::StartMic,
                      &AudioPlayer::StopMic, &AudioPlayer::CaptureEndpointId, &AudioPlayer::SetMicLevel};

void ApplyRoute(AudioPlayer& player, const config::ConfigStore& store, const Route& route) {
  const RouteSetting setting = RouteSetting::Read(store, route.section);
  (player.*route.setLevel)(setting.level);
  if (!setting.on) {
    (player.*route.stop)();
    return;
  }
  const int device =
      ResolveStoredEndpoint(store, route.section, setting.device, setting.endpoint, route.flow);
  if (device < 0) {
    (player.*route.stop)();
    return;
  }
  (player.*route.start)(device, device >= audio::kFirstEndpointDevice ? setting.endpoint : std::wstring());
}

bool SwitchRouteDevice(AudioPlayer& player, const config::ConfigStore& store, const Route& route, int device) {
  if (device == kRouteOff) {
    RouteSetting::WriteOn(store, route.section, false);
    (player.*route.stop)();
    return true;
  }
  // The endpoint that was listed, as for the output device.
  const std::wstring endpoint = (player.*route.endpointId)(device);
  RouteSetting::WriteDevice(store, route.section, device, endpoint);
  return (player.*route.start)(device, endpoint);
}

void SetRouteOn(AudioPlayer& player, const config::ConfigStore& store, const Route& route, bool on) {
  RouteSetting::WriteOn(store, route.section, on);
  ApplyRoute(player, store, route);
}

void SetRouteLevel(AudioPlayer& player, const config::ConfigStore& store, const Route& route, int level) {
  level = std::clamp(level, config::kMinLevel, config::kMaxLevel);
  RouteSetting::WriteLevel(store, route.section, level);
  (player.*route.setLevel)(level);
}

void ApplyMic(AudioPlayer& player, const config::ConfigStore& store) {
  const config::MicSetting setting = config::MicSetting::Read(store);
  player.SetMicToMonitor(setting.toMonitor);
  player.SetMicDucking(setting.duckingDb);
  ApplyRoute(player, store, kMicRoute);
}

void SetMicToMonitor(AudioPlayer& player, const config::ConfigStore& store, bool on) {
  config::MicSetting::WriteToMonitor(store, on);
  player.SetMicToMonitor(on);
}

void SetMicDucking(AudioPlayer& player, const config::ConfigStore& store, int db) {
  db = std::clamp(db, 0, config::kMaxMicDuckingDb);
  config::MicSetting::WriteDucking(store, db);
  player.SetMicDucking(db);
}

}  // namespace velmora::playback
