// The audio engine: a mixer of voices (Mixer.h) feeding its outputs (Output.h): output 0, the
// output device, and output 1, the monitor, which plays every voice together with it. Either is
// an endpoint, the null output, or an offline output that tests pull samples from. One decoded
// sound serves every output; it is never decoded twice. A live input (the microphone, Capture.h
// and LiveInput.h) is mixed under the voices.
//
// Threads: every public method is called on one controlling thread (the UI thread), except the
// device-change handlers, which the system calls on a thread of its own. Each output's render
// thread owns its device and meets the UI thread only in the mixer and a few atomics and events.
#pragma once

#include "playback/engine/Capture.h"
#include "playback/engine/LiveInput.h"
#include "playback/engine/Mixer.h"
#include "playback/engine/Output.h"
#include "playback/engine/Pcm.h"
#include "playback/engine/StreamFeed.h"

#include <cstdint>
#include <memory>
#include <string>

namespace velmora::audio {

inline constexpr int kMainOutput = 0;
inline constexpr int kMonitorOutput = 1;

class AudioEngine {
 public:
  AudioEngine();
  ~AudioEngine();
  AudioEngine(const AudioEngine&) = delete;
  AudioEngine& operator=(const AudioEngine&) = delete;

  // Opens the output device: 0 (null), 1 (default) or 2.. (an endpoint; see Devices.h). Waits
  // until its render thread has the device running or has failed. False when already open.
  bool Open(int device);
  // The same for an endpoint device whose ID the caller already has (from a DeviceSnapshot).
  bool Open(int device, const std::wstring& endpointId);
  // The output device as an offline output (tests): samples come out through Render only.
  bool OpenOffline();
  // Stops every output, releases the devices and every voice.
  void Close();
  bool IsOpen() const { return main_.IsOpen(); }
  int Device() const { return main_.Device(); }
  // The endpoint ID of the opened endpoint device (empty for devices 0 and 1, or when closed).
  const std::wstring& EndpointId() const { return main_.EndpointId(); }
  // True while the output device is gone (unplugged, disabled) and not yet back.
  bool DeviceLost() const { return main_.Lost(); }
  // For a play: true when the output device is there. While it is lost, asks its render thread
  // to look for it at once and waits (a quarter of a second at most) for the answer, so the
  // first click after the device is back plays instead of failing until the next retry.
  bool EnsureDevice();

  // The monitor: needs the output device open. Whatever plays joins it where the output device
  // is; from then on both start, replace and stop together. Reopening closes the previous one.
  bool OpenMonitor(int device, const std::wstring& endpointId);
  bool OpenOfflineMonitor();
  void CloseMonitor();
  bool MonitorOpen() const { return monitor_.IsOpen(); }
  int MonitorDevice() const { return monitor_.Device(); }
  const std::wstring& MonitorEndpointId() const { return monitor_.EndpointId(); }
  bool MonitorLost() const { return monitor_.Lost(); }

  // The microphone: capture device 1 (default) or 2.. (endpoint `endpointId`, from the capture
  // list of Devices.h) mixed into the output device, and into the monitor when routed there.
  // Needs the output device open. Reopening closes the previous one. False when the capture
  // device cannot be opened now. A device lost later is looked for again by itself (InputLost).
  bool OpenInput(int device, const std::wstring& endpointId);
  // An input with no device that the caller writes into (tests, benchmarks): Input()->Write.
  bool OpenOfflineInput(uint32_t targetFrames = LiveInput::kDefaultTargetFrames);
  void CloseInput();
  bool InputOpen() const { return input_ != nullptr; }
  int InputDevice() const { return capture_.Device(); }
  const std::wstring& InputEndpointId() const { return capture_.EndpointId(); }
  bool InputLost() const { return capture_.Lost(); }
  // Whether the microphone's stream, and the output device's while the microphone is on, run at
  // their devices' smallest engine periods (refused under Wine: both false there).
  bool InputLowLatency() const { return capture_.LowLatency(); }
  bool OutputLowLatency() const { return main_.LowLatency(); }
  LiveInput* Input() const { return input_.get(); }
  void SetInputGain(float gain) { mixer_.SetInputGain(gain); }
  void SetInputToMonitor(bool on);
  void SetInputDucking(float db) { mixer_.SetInputDucking(db); }

  // How long the outputs' stopped streams keep their clients (a minute unless set; tests and
  // benchmarks shorten it), and how long the output device's last opening took, in ms.
  void SetReleaseAfter(uint32_t ms);
  bool OutputReleased() const { return main_.Released(); }
  double LastOutputOpenMs() const;

  // An output's own gain (0..1), on top of the voices' volumes.
  void SetOutputGain(int output, float gain) { mixer_.SetOutputGain(output, gain); }
  // Offline outputs: the next `frames` frames of `output`, as its device would take them.
  bool Render(int output, float* out, uint32_t frames);

  // Voices. Ids are never reused; 0 is no voice. None of these throws: running out of memory
  // is a failed call.
  uint32_t CreateVoice(std::shared_ptr<const Sound> sound);
  // A voice for a long file played while it decodes. `open` starts a feed from the file's
  // beginning (called again when the voice restarts); `lengthFrames` is what the file declares.
  using FeedOpener = Mixer::FeedOpener;
  uint32_t CreateStreamVoice(FeedOpener open, uint64_t lengthFrames);
  bool FreeVoice(uint32_t id) { return mixer_.FreeVoice(id); }
  bool PlayVoice(uint32_t id, bool restart);
  bool PauseVoice(uint32_t id) { return mixer_.StopVoice(id); }
  bool StopVoice(uint32_t id) { return mixer_.StopVoice(id); }
  bool SetVoiceVolume(uint32_t id, float volume) { return mixer_.SetVoiceVolume(id, volume); }
  // The voice's leveling factor, kept apart from its volume (see Mixer::SetVoiceLeveling).
  bool SetVoiceLeveling(uint32_t id, float gain) { return mixer_.SetVoiceLeveling(id, gain); }
  // The position on the output device.
  bool VoiceFrames(uint32_t id, uint64_t* position, uint64_t* length) const {
    return mixer_.VoiceFrames(id, position, length);
  }
  bool SetVoicePosition(uint32_t id, uint64_t frame) { return mixer_.SetVoicePosition(id, frame); }

  // Device changes, for every output. On Windows the endpoint notifications call these; tests
  // call them too, since Wine never sends the notifications.
  void OnDefaultDeviceChanged();
  void OnDeviceRemoved(const std::wstring& endpointId);
  // An endpoint was added or became active again: a lost output looks for its device at once
  // instead of at the next retry.
  void OnDeviceArrived();

  // When the last PlayVoice was asked for, when its first samples were written into `output`'s
  // device buffer (QueryPerformanceCounter ticks; 0 until it happens) and how many frames were
  // still queued ahead of them in that device then (what the listener hears before the new
  // effect, the end of the old one included).
  using PlayTiming = Mixer::PlayTiming;
  PlayTiming LastPlayTiming(int output = kMainOutput) const { return mixer_.LastPlayTiming(output); }

 private:
  void WakeOutputs();

  Mixer mixer_;
  // The outputs by name, and by number for what is done to each alike.
  Output main_;
  Output monitor_;
  Output* const outputs_[kMaxOutputs] = {&main_, &monitor_};
  Capture capture_;
  std::shared_ptr<LiveInput> input_;
};

}  // namespace velmora::audio
