// The monitor (监听): a second output, usually the host's headphones, that plays every effect
// together with the output device, at the board's volume times a level of its own. Stored in
// section 监听 (config/ConfigKeys.h); every function here writes its setting at once.
#pragma once

#include "playback/AudioPlayer.h"
#include "playback/Route.h"

#include <string>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::playback {

// The monitor's device is numbered as the output device's: 1 default, 2.. endpoints.
using MonitorSetting = RouteSetting;

// The stored setting, with odd values made sound: a missing or unknown switch is off, a
// missing or out-of-range device is the default output, a missing level is 100 and others are
// kept within 1..100.
MonitorSetting ReadMonitorSetting(const config::ConfigStore& store);

// Opens or closes the monitor output as the stored setting says (start-up, and after the output
// device changed, since a monitor on the output's own device plays nothing of its own). A stored
// endpoint that is gone leaves the monitor off until it comes back or another is picked; that is
// not an error the user is told of.
void ApplyMonitorSetting(AudioPlayer& player, const config::ConfigStore& store);

// The settings window's list: `device` 1.. as listed (the same numbers as the output list), or
// kMonitorOff for "不监听". Writes 开关 and, for a device, id and endpoint, then applies the
// setting. False when the picked device could not be opened (the setting is still written, so
// the monitor comes on when the device does).
inline constexpr int kMonitorOff = kRouteOff;
bool SwitchMonitorDevice(AudioPlayer& player, const config::ConfigStore& store, int device);

// The tray menu's check item: switches the monitor on or off (开关) with the stored device.
void SetMonitorOn(AudioPlayer& player, const config::ConfigStore& store, bool on);

// The monitor's own volume, 1..100 (the lowest step mutes, as on the board); written to 监听/v.
void SetMonitorLevel(AudioPlayer& player, const config::ConfigStore& store, int level);

}  // namespace velmora::playback
