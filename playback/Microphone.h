// Microphone pass-through (麦克风直通): a capture device mixed into the output device, so voice
// and effects reach the stream on one device; into the monitor too only when asked, since a host
// does not want to hear their own voice late. With ducking on, the voice is lowered while an
// effect plays. Stored in section 麦克风 (config/ConfigKeys.h); every function here writes its
// setting at once.
#pragma once

#include "playback/AudioPlayer.h"
#include "playback/Route.h"

#include <string>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::playback {

inline constexpr int kMaxMicDuckingDb = 30;

// The device: 1 the default capture device, 2.. capture endpoints.
struct MicSetting : RouteSetting {
  bool toMonitor = false;
  int duckingDb = 0;  // 0 (off)..30
};

// The stored setting, with odd values made sound: a missing or unknown switch is off, a missing
// or out-of-range device is the default capture device, a missing level is 100 and others are
// kept within 1..100, the ducking within 0..30 dB.
MicSetting ReadMicSetting(const config::ConfigStore& store);

// Starts or stops the pass-through as the stored setting says (start-up, and after the output
// device changed). A stored endpoint that is gone leaves it off until another is picked; a
// capture device that is there but cannot be opened is looked for again by the engine.
void ApplyMicSetting(AudioPlayer& player, const config::ConfigStore& store);

// The settings window's list: `device` 1.. as RefreshCaptureDevices listed them, or kMicOff for
// "不使用". Writes 开关 and, for a device, id and endpoint, then applies the setting. False when
// the picked device could not be opened (the setting is still written).
inline constexpr int kMicOff = kRouteOff;
bool SwitchMicDevice(AudioPlayer& player, const config::ConfigStore& store, int device);

// The tray menu's check item: switches the pass-through on or off (开关) with the stored device.
void SetMicOn(AudioPlayer& player, const config::ConfigStore& store, bool on);

// The voice's volume, 1..100 (the lowest step mutes); written to 麦克风/v.
void SetMicLevel(AudioPlayer& player, const config::ConfigStore& store, int level);
// Whether the voice goes to the monitor as well; written to 麦克风/监听.
void SetMicToMonitor(AudioPlayer& player, const config::ConfigStore& store, bool on);
// How far the voice is lowered while an effect plays, 0 (off)..30 dB; written to 麦克风/闪避.
void SetMicDucking(AudioPlayer& player, const config::ConfigStore& store, int db);

}  // namespace velmora::playback
