#include "playback/Leveling.h"

#include "config/Settings.h"

namespace velmora::playback {

bool ReadLevelingSetting(const config::ConfigStore& store) { return config::LevelingSetting::Read(store).on; }

void ApplyLevelingSetting(AudioPlayer& player, const config::ConfigStore& store) {
  player.SetLeveling(ReadLevelingSetting(store));
}

void SetLevelingOn(AudioPlayer& player, const config::ConfigStore& store, bool on) {
  config::LevelingSetting::Write(store, on);
  player.SetLeveling(on);
}

}  // namespace velmora::playback
