// The audio engine: one output (a WASAPI endpoint in shared mode, or the null output), one
// render thread that owns it, and a small table of voices the UI thread starts and stops.
//
// Threads: every public method is called on one controlling thread (the UI thread), except the
// device-change handlers, which the system calls on a thread of its own. The render thread owns
// the device; it meets the UI thread only in the voice table (Mixer.h) and in a few atomics and
// events. A play never sets up a device: the client is created once in Open. The stream is
// started when a voice plays, with its first samples already in the buffer, and stopped after a
// second of silence, so an idle board costs no CPU.
//
// A lost device (unplugged, disabled, or a stream the system stopped feeding) is looked for
// again when the system says an endpoint came back, when a play asks for it, and twice a second
// in between.
#pragma once

#include "playback/engine/Mixer.h"
#include "playback/engine/Pcm.h"
#include "playback/engine/StreamFeed.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace velmora::audio {

class AudioEngine {
 public:
  AudioEngine();
  ~AudioEngine();
  AudioEngine(const AudioEngine&) = delete;
  AudioEngine& operator=(const AudioEngine&) = delete;

  // Opens device 0 (null), 1 (default) or 2.. (an endpoint; see Devices.h). Waits until the
  // render thread has the device running or has failed. False when already open.
  bool Open(int device);
  // The same for an endpoint device whose ID the caller already has (from a DeviceSnapshot).
  bool Open(int device, const std::wstring& endpointId);
  // Stops the render thread, releases the device and every voice.
  void Close();
  bool IsOpen() const { return thread_.joinable(); }
  int Device() const { return device_.load(); }
  // The endpoint ID of the opened endpoint device (empty for devices 0 and 1, or when closed).
  const std::wstring& EndpointId() const { return endpointId_; }
  // True while the opened endpoint is gone (unplugged, disabled) and not yet back.
  bool DeviceLost() const { return lost_.load(); }
  // For a play: true when the device is there. While it is lost, asks the render thread to look
  // for it at once and waits (a quarter of a second at most) for the answer, so the first click
  // after the device is back plays instead of failing until the next retry.
  bool EnsureDevice();

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
  bool VoiceFrames(uint32_t id, uint64_t* position, uint64_t* length) const {
    return mixer_.VoiceFrames(id, position, length);
  }
  bool SetVoicePosition(uint32_t id, uint64_t frame) { return mixer_.SetVoicePosition(id, frame); }

  // Device changes. On Windows the endpoint notifications call these; tests call them too,
  // since Wine never sends the notifications.
  void OnDefaultDeviceChanged();
  void OnDeviceRemoved(const std::wstring& endpointId);
  // An endpoint was added or became active again: while ours is lost, look for it at once
  // instead of at the next retry.
  void OnDeviceArrived();

  // When the last PlayVoice was asked for, when its first samples were written into the
  // device buffer (QueryPerformanceCounter ticks; 0 until it happens) and how many frames were
  // still queued ahead of them in the device then (what the listener hears before the new
  // effect, the end of the old one included).
  using PlayTiming = Mixer::PlayTiming;
  PlayTiming LastPlayTiming() const { return mixer_.LastPlayTiming(); }

 private:
  void RenderThread(int device, std::wstring endpointId, std::promise<bool>& started);
  std::wstring endpointId_;  // controlling thread only
  void RunNullOutput();
  void Wake();

  Mixer mixer_;
  std::thread thread_;  // UI thread only
  // Constant between construction and destruction; HANDLEs kept opaque so this header stays
  // free of windows.h.
  void* stopEvent_ = nullptr;
  void* wakeEvent_ = nullptr;
  void* attemptEvent_ = nullptr;  // set by the render thread after each attempt to open the device
  // Shared with the render thread and the system's notification thread.
  std::atomic<int> device_{-1};
  std::atomic<bool> lost_{false};
  std::atomic<bool> reopenDefault_{false};
  std::atomic<bool> checkDevice_{false};
  // Looks for a lost device asked for (by a play) and answered, as running counts: the render
  // thread answers a request with the first attempt it starts after it.
  std::atomic<uint32_t> retriesAsked_{0};
  std::atomic<uint32_t> retriesAnswered_{0};
};

}  // namespace velmora::audio
