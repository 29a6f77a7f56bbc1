// The stored output device: which number to start on, and switching to another.
#pragma once

#include "config/Settings.h"
#include "playback/AudioPlayer.h"

namespace velmora::config {
class ConfigStore;
}

namespace velmora::playback {

// The stored device number, kept pointing at the same endpoint: endpoint numbers follow their
// sorted IDs, so plugging in another device can shift them. The endpoint chosen last is stored
// beside the number and wins (the number is rewritten when it moved). -1 when that endpoint is
// gone: no audio is started, and plays fail with the open-failure message until the user picks
// a device.
int ResolveStoredDevice(const config::ConfigStore& store);

// The same rule for any stored device: `device` as stored in `section`, with `endpoint` the
// endpoint ID stored beside it; the number is rewritten when the endpoint moved. -1 when the
// endpoint is gone.
int ResolveStoredEndpoint(const config::ConfigStore& store, config::DeviceSection section, int device,
                          const std::wstring& endpoint, audio::Flow flow = audio::Flow::Render);

// Releases the audio and starts it on `device`; on success the device's endpoint ID is stored
// beside the number, and the number. On failure the audio is started again on the
// device that was in use, so the program does not stay silent until its next start.
bool SwitchOutputDevice(AudioPlayer& player, const config::ConfigStore& store, int device);

}  // namespace velmora::playback
