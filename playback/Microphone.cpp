#include "playback/Microphone.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"

#include <algorithm>

namespace velmora::playback {

namespace {

const Route kMic{config::kMicSection,     config::kMicSwitchKey, config::kMicDeviceKey,
                 config::kMicEndpointKey, config::kMicVolumeKey, audio::Flow::Capture,
                 &AudioPlayer::StartMic,  &AudioPlayer::StopMic, &AudioPlayer::CaptureEndpointId,
                 &AudioPlayer::SetMicLevel};

}  // namespace

MicSetting ReadMicSetting(const config::ConfigStore& store) {
  using namespace config;
  MicSetting setting;
  static_cast<RouteSetting&>(setting) = ReadRoute(store, kMic);
  setting.toMonitor = store.ReadValue(kMicSection, kMicToMonitorKey) == kOn;
  setting.duckingDb =
      static_cast<int>(std::clamp<long>(ParseConfigNumber(store.ReadValue(kMicSection, kMicDuckingKey)), 0, kMaxMicDuckingDb));
  return setting;
}

void ApplyMicSetting(AudioPlayer& player, const config::ConfigStore& store) {
  const MicSetting setting = ReadMicSetting(store);
  player.SetMicToMonitor(setting.toMonitor);
  player.SetMicDucking(setting.duckingDb);
  ApplyRoute(player, store, kMic);
}

bool SwitchMicDevice(AudioPlayer& player, const config::ConfigStore& store, int device) {
  return SwitchRouteDevice(player, store, kMic, device);
}

void SetMicOn(AudioPlayer& player, const config::ConfigStore& store, bool on) { SetRouteOn(player, store, kMic, on); }

void SetMicLevel(AudioPlayer& player, const config::ConfigStore& store, int level) {
  SetRouteLevel(player, store, kMic, level);
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
