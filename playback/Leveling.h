// Even loudness (音量均衡): every effect plays at a gain that brings it to one loudness, so a
// quiet clip and a loud one sound alike on the stream without touching the files. Stored in
// section 均衡 (config/ConfigKeys.h); a change applies from the next play on.
#pragma once

#include "playback/AudioPlayer.h"

namespace velmora::config {
class ConfigStore;
}

namespace velmora::playback {

// The stored switch: missing or anything but "真" is off.
bool ReadLevelingSetting(const config::ConfigStore& store);

// Start-up: gives the player the stored switch.
void ApplyLevelingSetting(AudioPlayer& player, const config::ConfigStore& store);

// The settings window's check box: writes 开关 at once and applies it.
void SetLevelingOn(AudioPlayer& player, const config::ConfigStore& store, bool on);

}  // namespace velmora::playback
