#include "playback/Leveling.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"

namespace velmora::playback {

bool ReadLevelingSetting(const config::ConfigStore& store) {
  return store.ReadValue(config::kLevelingSection, config::kLevelingSwitchKey) == config::kOn;
}

void ApplyLevelingSetting(AudioPlayer& player, const config::ConfigStore& store) {
  player.SetLeveling(ReadLevelingSetting(store));
}

void SetLevelingOn(AudioPlayer& player, const config::ConfigStore& store, bool on) {
  store.WriteValue(config::kLevelingSection, config::kLevelingSwitchKey, on ? config::kOn : config::kOff);
  player.SetLeveling(on);
}

}  // namespace velmora::playback
