// The one audio player of the program: a small method table over our engine. Stream handles
// are the engine's voice ids (0 = no stream). Device numbers: 0 no sound, 1 the system's
// default output, 2… the endpoints (see engine/Devices.h).
#pragma once

#include "playback/engine/Devices.h"
#include "playback/engine/Engine.h"
#include "playback/engine/SoundLoader.h"

#include <cstdint>
#include <string>

namespace velmora::playback {

using StreamHandle = uint32_t;

inline constexpr wchar_t kNoDeviceName[] = L"!!!!!!";
inline constexpr int kOutputRate = 44100;

class AudioPlayer {
 public:
  AudioPlayer() = default;
  virtual ~AudioPlayer();
  AudioPlayer(const AudioPlayer&) = delete;
  AudioPlayer& operator=(const AudioPlayer&) = delete;

  // useDefaults = 1: the system's default output at 44,100 Hz. Otherwise the given device;
  // the engine always renders at 44,100 Hz, so `frequency` only has to be positive, and
  // flags, window and class id are accepted and unused. 1 on success, 0 when the device cannot
  // be opened or the player is already started.
  virtual int Initialise(int useDefaults, int device, int frequency, int flags, void* window, const void* classId);
  virtual int LibraryVersion() const;
  // Frees previousStream, then decodes `path` (cached) and, with playNow = 1, starts it from
  // its beginning. The new handle, or 0 when the path is empty, the file cannot be decoded or
  // the player is not started (or its device is gone).
  virtual StreamHandle OpenAndPlay(const std::wstring& path, int playNow, StreamHandle previousStream);
  virtual int PlayChannel(StreamHandle handle, int restart);
  virtual int PauseChannel(StreamHandle handle);
  virtual int StopChannel(StreamHandle handle);
  virtual float ChannelLength(StreamHandle handle) const;
  virtual double ChannelPosition(StreamHandle handle) const;
  virtual int SeekChannel(StreamHandle handle, double seconds);
  // exact = 0 turns a volume within 1e-7 of 0.01 (the lowest step of the volume scale) into
  // silence.
  virtual int SetChannelVolume(float volume, StreamHandle handle, int exact);
  virtual void ReleaseLibrary();
  // The device's name, or "!!!!!!" when there is no device n, from the devices as the last
  // RefreshDevices saw them (taken then once, not at every call).
  virtual std::wstring DeviceName(int device) const;
  // Looks at the system's devices once; DeviceName and Initialise use what it saw, so a device
  // picked from a list goes to the endpoint that was listed.
  void RefreshDevices();
  // The endpoint behind device n as the last RefreshDevices saw it (empty below 2).
  std::wstring EndpointId(int device) const { return devices_.EndpointId(device); }
  // Our decoders are built in, so there is nothing to load: this starts Media Foundation ahead
  // of the first compressed file instead, so that first play does not pay for it.
  virtual void LoadPlugins();

  // The monitor: every effect plays on `device` too (numbers as for Initialise; a device of 2..
  // opens `endpointId`, or the endpoint the last RefreshDevices listed when it is empty). A
  // monitor on the output device itself is not opened, so the effect plays there once. Needs
  // the player started. True when the monitor plays (or has nothing to do).
  bool StartMonitor(int device, const std::wstring& endpointId);
  void StopMonitor();
  // 1..100 on top of the board's volume; the lowest step mutes, as on the board.
  void SetMonitorLevel(int level);

  // The microphone (麦克风直通): capture device `device` (1 the default capture device, 2.. the
  // capture endpoints; `endpointId` as for StartMonitor, from RefreshCaptureDevices) mixed into
  // the output device, and into the monitor when SetMicToMonitor says so. Needs the player
  // started; the output device's own switch keeps it (Engine().Close ends it). False when the
  // capture device cannot be opened now.
  bool StartMic(int device, const std::wstring& endpointId);
  void StopMic();
  // 1..100; the lowest step mutes, as on the board.
  void SetMicLevel(int level);
  void SetMicToMonitor(bool on);
  // 0 (off)..30 dB of ducking while an effect plays.
  void SetMicDucking(int db);
  // The capture devices as the last RefreshCaptureDevices saw them: the name of device n
  // ("!!!!!!" when there is none) and its endpoint ID (empty below 2).
  void RefreshCaptureDevices();
  std::wstring CaptureDeviceName(int device) const;
  std::wstring CaptureEndpointId(int device) const { return captureDevices_.EndpointId(device); }

  // Even loudness (音量均衡): every sound opened from now on plays at a gain that brings it to
  // -16 LUFS (see engine/Loudness.h), apart from and on top of its volume. Sounds already open
  // keep the gain they opened with. Off: every gain is 1.
  void SetLeveling(bool on) { leveling_ = on; }
  bool Leveling() const { return leveling_; }

  StreamHandle LastStream() const { return lastStream_; }
  StreamHandle PreviousStream() const { return previousStream_; }
  audio::AudioEngine& Engine() { return engine_; }
  audio::SoundLoader& Loader() { return loader_; }

 private:
  audio::AudioEngine engine_;
  audio::SoundLoader loader_;
  audio::DeviceSnapshot devices_;
  audio::DeviceSnapshot captureDevices_;
  bool haveDevices_ = false;
  bool leveling_ = false;
  StreamHandle lastStream_ = 0;
  StreamHandle previousStream_ = 0;
};

// Initialise(0, device, 44100, 0, 0, 0), then LoadPlugins when that worked. 1 or 0.
int StartAudio(AudioPlayer& player, int device);

}  // namespace velmora::playback
