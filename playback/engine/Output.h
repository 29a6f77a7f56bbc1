// One output of the engine: where the mixer's voices are heard. An endpoint (a WASAPI device in
// shared mode, or the system's default one) or the null output, each with a render thread of its
// own that owns the device; or an offline output with no thread at all, which tests pull samples
// from. Each output has its own buffer, clock, gain and lost state: one device unplugged leaves
// the others playing.
//
// Threads: Open, Close, EnsureDevice and Render are called on the controlling thread (the UI
// thread); the device-change handlers on the system's notification thread. The render thread
// meets them only in the mixer and in a few atomics and events. A play never sets up a device:
// the client is created once in Open. The stream is started when a voice plays, with its first
// samples already in the buffer, and stopped after a second of silence, so an idle output costs
// no CPU.
//
// A lost device (unplugged, disabled, or a stream the system stopped feeding) is looked for
// again when the system says an endpoint came back, when a play asks for it, and twice a second
// in between.
#pragma once

#include "playback/engine/Mixer.h"

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>

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
  bool IsOpen() const { return offline_ || thread_.joinable(); }
  bool IsOffline() const { return offline_; }
  int Device() const { return device_.load(); }
  const std::wstring& EndpointId() const { return endpointId_; }
  bool Lost() const { return lost_.load(); }
  // True when the device is there; while it is lost, asks the render thread to look for it at
  // once and waits (a quarter of a second at most) for the answer.
  bool EnsureDevice();
  // Offline output only: mixes the next `frames` frames into `out`, as a device period would.
  bool Render(float* out, uint32_t frames);

  // A voice was started: write its first samples now instead of at the next period.
  void Wake();
  void OnDefaultDeviceChanged();
  void OnDeviceRemoved();
  void OnDeviceArrived();

 private:
  struct Events;
  class Renderer;

  void RenderThread(int device, std::wstring endpointId, std::promise<bool>& started);
  void RunNullOutput();

  Mixer& mixer_;
  const int index_;
  bool offline_ = false;     // controlling thread only
  std::wstring endpointId_;  // controlling thread only
  std::thread thread_;       // controlling thread only
  // The stop, wake and attempt events, constant between construction and destruction. Defined
  // in Output.cpp so this header stays free of windows.h.
  const std::unique_ptr<Events> events_;
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
