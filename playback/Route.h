// What the monitor (监听) and the microphone pass-through (麦克风直通) have in common: a device of
// their own beside the output device, stored in a section of their own as 开关, id, endpoint and
// v, opened and closed on the player as that setting says. Every function here writes its
// setting at once; Monitor.h and Microphone.h name the two routes and add what is theirs alone.
#pragma once

#include "playback/AudioPlayer.h"

#include <string>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::playback {

// One route: where it is stored and how the player opens it.
struct Route {
  const wchar_t* section;
  const wchar_t* switchKey;
  const wchar_t* deviceKey;
  const wchar_t* endpointKey;
  const wchar_t* volumeKey;
  audio::Flow flow;
  bool (AudioPlayer::*start)(int device, const std::wstring& endpointId);
  void (AudioPlayer::*stop)();
  std::wstring (AudioPlayer::*endpointId)(int device) const;
  void (AudioPlayer::*setLevel)(int level);
};

struct RouteSetting {
  bool on = false;
  int device = audio::kDefaultDevice;  // 1 the default device, 2.. endpoints, as the lists number them
  std::wstring endpoint;               // the endpoint ID behind `device` (empty below 2)
  int level = 100;                     // 1..100
};

// The stored setting, with odd values made sound: a missing or unknown switch is off, a missing
// or out-of-range device is the default device, a missing level is 100 and others are kept
// within 1..100.
RouteSetting ReadRoute(const config::ConfigStore& store, const Route& route);

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

}  // namespace velmora::playback
