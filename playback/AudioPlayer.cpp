#include "playback/AudioPlayer.h"

#include "playback/engine/Devices.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace velmora::playback {

namespace {
constexpr int kVersion = 0x01000000;  // 1.0.0.0
}

AudioPlayer::~AudioPlayer() = default;

int AudioPlayer::Initialise(int useDefaults, int device, int frequency, int, void*, const void*) {
  if (useDefaults == 1) {
    device = audio::kDefaultDevice;
    frequency = kOutputRate;
  }
  if (frequency <= 0) return 0;
  // A device listed by the last look at the devices opens the endpoint that was listed.
  if (haveDevices_ && device >= audio::kFirstEndpointDevice) return engine_.Open(device, EndpointId(device)) ? 1 : 0;
  return engine_.Open(device) ? 1 : 0;
}

int AudioPlayer::LibraryVersion() const { return kVersion; }

StreamHandle AudioPlayer::OpenAndPlay(const std::wstring& path, int playNow, StreamHandle previousStream) {
  previousStream_ = previousStream;
  if (path.empty()) return 0;
  engine_.FreeVoice(previousStream);  // the playing effect falls silent here, whatever follows
  // A lost device is looked for once more here, so the first click after it is back plays.
  if (!engine_.EnsureDevice()) return 0;
  StreamHandle handle = 0;
  audio::SoundLoader::Loaded loaded = loader_.Load(path, leveling_);
  if (loaded.sound) {
    handle = engine_.CreateVoice(std::move(loaded.sound));
  } else if (loaded.openStream) {
    handle = engine_.CreateStreamVoice(std::move(loaded.openStream), loaded.streamFrames);
  }
  // Before it starts, so its first samples already sound at the even level.
  if (handle != 0 && leveling_) engine_.SetVoiceLeveling(handle, audio::LevelingGain(loaded.loudness));
  if (playNow == 1) {
    lastStream_ = handle;
    if (handle != 0) engine_.PlayVoice(handle, true);
  }
  return handle;
}

int AudioPlayer::PlayChannel(StreamHandle handle, int restart) {
  return handle != 0 && engine_.PlayVoice(handle, restart != 0) ? 1 : 0;
}

int AudioPlayer::PauseChannel(StreamHandle handle) { return handle != 0 && engine_.PauseVoice(handle) ? 1 : 0; }

int AudioPlayer::StopChannel(StreamHandle handle) { return handle != 0 && engine_.StopVoice(handle) ? 1 : 0; }

float AudioPlayer::ChannelLength(StreamHandle handle) const {
  uint64_t length = 0;
  if (handle == 0 || !engine_.VoiceFrames(handle, nullptr, &length)) return 0;
  return static_cast<float>(static_cast<double>(length) / audio::kEngineRate);
}

double AudioPlayer::ChannelPosition(StreamHandle handle) const {
  uint64_t position = 0;
  if (handle == 0 || !engine_.VoiceFrames(handle, &position, nullptr)) return 0;
  return static_cast<double>(position) / audio::kEngineRate;
}

int AudioPlayer::SeekChannel(StreamHandle handle, double seconds) {
  if (handle == 0 || !(seconds >= 0)) return 0;
  return engine_.SetVoicePosition(handle, static_cast<uint64_t>(seconds * audio::kEngineRate)) ? 1 : 0;
}

int AudioPlayer::SetChannelVolume(float volume, StreamHandle handle, int exact) {
  if (handle == 0) return 0;
  if (exact == 0 && std::fabs(volume - 0.01f) < 1e-7f) volume = 0.0f;
  return engine_.SetVoiceVolume(handle, volume) ? 1 : 0;
}

void AudioPlayer::ReleaseLibrary() { engine_.Close(); }

void AudioPlayer::RefreshDevices() {
  devices_ = audio::DeviceSnapshot::Take();
  haveDevices_ = true;
}

std::wstring AudioPlayer::DeviceName(int device) const {
  std::wstring name = haveDevices_ ? devices_.Name(device) : audio::DeviceDisplayName(device);
  return name.empty() ? std::wstring(kNoDeviceName) : name;
}

void AudioPlayer::LoadPlugins() { loader_.WarmUp(); }

bool AudioPlayer::StartMonitor(int device, const std::wstring& endpointId) {
  if (!engine_.IsOpen() || device < 0) return false;
  std::wstring endpoint;
  try {
    if (device >= audio::kFirstEndpointDevice) {
      endpoint = !endpointId.empty() ? endpointId
                 : haveDevices_      ? EndpointId(device)
                                     : audio::EndpointIdForDevice(device);
      if (endpoint.empty()) return false;
    }
  } catch (const std::exception&) {  // no memory for the enumeration
    return false;
  }
  const bool sameAsOutput =
      device >= audio::kFirstEndpointDevice ? endpoint == engine_.EndpointId() : device == engine_.Device();
  if (sameAsOutput) {
    engine_.CloseMonitor();
    return true;
  }
  if (engine_.MonitorOpen() && engine_.MonitorDevice() == device && engine_.MonitorEndpointId() == endpoint)
    return true;
  return engine_.OpenMonitor(device, endpoint);
}

void AudioPlayer::StopMonitor() { engine_.CloseMonitor(); }

void AudioPlayer::SetMonitorLevel(int level) {
  // The board's rule: the lowest step (1, a gain of 0.01) is silence.
  const float gain = level <= 1 ? 0.0f : static_cast<float>(std::min(level, 100)) / 100.0f;
  engine_.SetOutputGain(audio::kMonitorOutput, gain);
}

bool AudioPlayer::StartMic(int device, const std::wstring& endpointId) {
  if (!engine_.IsOpen() || device < audio::kDefaultDevice) return false;
  std::wstring endpoint;
  try {
    if (device >= audio::kFirstEndpointDevice) {
      endpoint = !endpointId.empty() ? endpointId : audio::DeviceSnapshot::Take(audio::Flow::Capture).EndpointId(device);
      if (endpoint.empty()) return false;
    }
  } catch (const std::exception&) {  // no memory for the enumeration
    return false;
  }
  if (engine_.InputOpen() && engine_.InputDevice() == device && engine_.InputEndpointId() == endpoint) return true;
  return engine_.OpenInput(device, endpoint);
}

void AudioPlayer::StopMic() { engine_.CloseInput(); }

void AudioPlayer::SetMicLevel(int level) {
  engine_.SetInputGain(level <= 1 ? 0.0f : static_cast<float>(std::min(level, 100)) / 100.0f);
}

void AudioPlayer::SetMicToMonitor(bool on) { engine_.SetInputToMonitor(on); }

void AudioPlayer::SetMicDucking(int db) { engine_.SetInputDucking(static_cast<float>(std::clamp(db, 0, 30))); }

void AudioPlayer::RefreshCaptureDevices() {
  try {
    captureDevices_ = audio::DeviceSnapshot::Take(audio::Flow::Capture);
  } catch (const std::exception&) {
    captureDevices_ = audio::DeviceSnapshot();
  }
}

std::wstring AudioPlayer::CaptureDeviceName(int device) const {
  std::wstring name = device == audio::kDefaultDevice ? audio::kDefaultCaptureDeviceName
                      : device > audio::kDefaultDevice ? captureDevices_.Name(device)
                                                       : std::wstring();
  return name.empty() ? std::wstring(kNoDeviceName) : name;
}

int StartAudio(AudioPlayer& player, int device) {
  if (player.Initialise(0, device, kOutputRate, 0, nullptr, nullptr) != 1) return 0;
  player.LoadPlugins();
  return 1;
}

}  // namespace velmora::playback
