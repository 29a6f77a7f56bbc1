// The microphone's capture device: a WASAPI capture stream in shared mode, event-driven, on a
// device thread of its own (DeviceWorker.h) that writes every packet into a LiveInput as soon as
// the device hands it over. Device 1 is the system's default capture device (followed when the
// default changes), 2.. a capture endpoint by ID. A lost device (unplugged, disabled) is looked
// for again as DeviceWorker.h says; meanwhile the outputs go on with the effects, and the voice
// comes back by itself.
//
// Threads: Open and Close on the controlling thread; the notification handlers on the system's
// notification thread; the capture thread owns the device.
#pragma once

#include "playback/engine/DeviceWorker.h"
#include "playback/engine/LiveInput.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace velmora::audio {

class Capture {
 public:
  Capture() = default;
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  // Starts capturing `device` (endpoint `endpointId` for 2..) into `input`; `started` is called
  // on the capture thread whenever the device (re)starts, so the outputs can be woken. Waits
  // until the device runs or has failed; false then (and nothing is left running).
  bool Open(int device, const std::wstring& endpointId, std::shared_ptr<LiveInput> input, std::function<void()> started);
  void Close();
  bool IsOpen() const { return worker_.IsOpen(); }
  int Device() const { return worker_.Device(); }
  const std::wstring& EndpointId() const { return worker_.EndpointId(); }
  bool Lost() const { return worker_.Lost(); }
  // Whether the stream runs at the device's smallest engine period (IAudioClient3).
  bool LowLatency() const { return lowLatency_.load(); }

  void OnDefaultDeviceChanged() { worker_.OnDefaultDeviceChanged(); }
  void OnDeviceRemoved() { worker_.OnDeviceRemoved(); }
  void OnDeviceArrived() { worker_.OnDeviceArrived(); }

 private:
  class Recorder;

  std::atomic<bool> lowLatency_{false};
  DeviceWorker worker_;
};

}  // namespace velmora::audio
