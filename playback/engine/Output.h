// One output of the engine: where the mixer's voices are heard. An endpoint (a WASAPI device in
// shared mode, or the system's default one) or the null output, each with a render thread of its
// own that owns the device; or an offline output with no thread at all, which tests pull samples
// from. Each output has its own buffer, clock, gain and lost state: one device unplugged leaves
// the others playing.
//
// Threads: Open, Close, EnsureDevice and Render are called on the controlling thread (the UI
// thread); the device-change handlers on the system's notification thread. The render thread (a
// DeviceWorker's) meets them only in the mixer and the worker's atomics and events. A play never
// sets up a device: the client is created in Open. The stream is started when a voice plays,
// with its first samples already in the buffer, and stopped after a second of silence; after a
// quiet minute its client is released too (the system keeps a timer running for a stopped
// client), and the next play opens it again first. A lost device is looked for again as
// DeviceWorker.h says.
#pragma once

#include "playback/engine/Devices.h"
#include "playback/engine/DeviceWorker.h"
#include "playback/engine/Mixer.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace velmora::audio {

class Output {
 public:
  // `index` is the output's number in the mixer (0 the output device, 1 the monitor).
  Output(Mixer& mixer, int index);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Device 0 (null), 1 (default) or 2.. (the endpoint `endpointId`). Waits until the render
  // thread has the device ready or has failed. False when already open.
  bool Open(int device, const std::wstring& endpointId);
  // No device and no thread: the mixer is pulled by Render.
  bool OpenOffline();
  void Close();
  bool IsOpen() const { return offline_ || worker_.IsOpen(); }
  bool IsOffline() const { return offline_; }
  int Device() const { return offline_ ? kNoSoundDevice : worker_.Device(); }
  const std::wstring& EndpointId() const { return worker_.EndpointId(); }
  bool Lost() const { return worker_.Lost(); }
  // True when the device is there; while it is lost, asks the render thread to look for it at
  // once and waits (a quarter of a second at most) for the answer.
  bool EnsureDevice() { return offline_ || worker_.EnsureDevice(); }
  // Offline output only: mixes the next `frames` frames into `out`, as a device period would.
  bool Render(float* out, uint32_t frames);

  // How long a stopped stream waits before its client is released (a minute unless set).
  void SetReleaseAfter(uint32_t ms) {
    shared_.releaseAfterMs = ms;
    if (!offline_) worker_.Wake();  // a stopped stream's wait was reckoned with the old value
  }
  // Asks for the device's smallest engine period (while the microphone is on): the stream is
  // opened again for it, unless the system already refused it once.
  void SetLowLatency(bool on);
  bool LowLatency() const { return shared_.lowLatency.load(); }
  bool Released() const { return worker_.Parked(); }
  // How long the last opening of the device took (QueryPerformanceCounter ticks).
  int64_t LastOpenTicks() const { return worker_.LastOpenTicks(); }

  // A voice was started: write its first samples now instead of at the next period.
  void Wake() { worker_.Wake(); }
  void OnDefaultDeviceChanged() { worker_.OnDefaultDeviceChanged(); }
  void OnDeviceRemoved() { worker_.OnDeviceRemoved(); }
  void OnDeviceArrived() { worker_.OnDeviceArrived(); }

 private:
  class Renderer;
  class NullRenderer;

  Mixer& mixer_;
  const int index_;
  bool offline_ = false;  // controlling thread only
  // Shared with the render thread.
  struct Shared {
    std::atomic<uint32_t> releaseAfterMs{60000};
    std::atomic<bool> lowLatencyWanted{false};
    std::atomic<bool> lowLatencyRefused{false};
    std::atomic<bool> lowLatency{false};  // what the stream got
  } shared_;
  DeviceWorker worker_;
};

}  // namespace velmora::audio
