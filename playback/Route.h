// The monitor (监听) and the microphone pass-through (麦克风直通): each a device of its own beside
// the output device, stored in a section of its own as 开关, id, endpoint and v, opened and
// closed on the player as that setting says. Every function here writes its setting at once.
//
// The monitor is a second output, usually the host's headphones, that plays every effect with
// the output device at the board's volume times a level of its own; its devices are numbered as
// the output device's. The microphone is a capture device mixed into the output device, so voice
// and effects reach the stream on one device; into the monitor too only when asked, since a host
// does not want to hear their own voice late; with ducking on, the voice is lowered while an
// effect plays.
#pragma once

#include "config/Settings.h"
#include "playback/AudioPlayer.h"

#include <string>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::playback {

// One route: where it is stored and how the player opens it.
struct Route {
  config::DeviceSection section;
  audio::Flow flow;
  bool (AudioPlayer::*start)(int device, const std::wstring& endpointId);
  void (AudioPlayer::*stop)();
  std::wstring (AudioPlayer::*endpointId)(int device) const;
  void (AudioPlayer::*setLevel)(int level);
};

// The device: 1 the default device, 2.. endpoints, as the lists number them; the endpoint ID
// behind it (empty below 2).
using RouteSetting = config::RouteSetting;

extern const Route kMonitorRoute;
extern const Route kMicRoute;

// Opens or closes the route as the stored setting says, with its level. A stored endpoint that is
// gone leaves it closed until it comes back or another is picked; that is not an error the user
// is told of.
void ApplyRoute(AudioPlayer& player, const config::ConfigStore& store, const Route& route);

// A pick from the settings window's list: `device` 1.. as listed, or kRouteOff. Writes 开关 and,
// for a device, id and endpoint, then opens it. False when the device could not be opened (the
// setting is still written, so the route comes on when the device does).
inline constexpr int kRouteOff = -1;
bool SwitchRouteDevice(AudioPlayer& player, const config::ConfigStore& store, const Route& route, int device);

// The tray menu's check item: writes 开关 and applies the stored setting.
void SetRouteOn(AudioPlayer& player, const config::ConfigStore& store, const Route& route, bool on);

// The route's own volume, 1..100 (the lowest step mutes, as on the board); written to v.
void SetRouteLevel(AudioPlayer& player, const config::ConfigStore& store, const Route& route, int level);

// The microphone's own: the voice to the monitor too, and ducking (0..30 dB), applied with the
// route (start-up, and after the output device changed), or one at a time as the settings
// window changes them (written at once).
void ApplyMic(AudioPlayer& player, const config::ConfigStore& store);
void SetMicToMonitor(AudioPlayer& player, const config::ConfigStore& store, bool on);
void SetMicDucking(AudioPlayer& player, const config::ConfigStore& store, int db);

}  // namespace velmora::playback
