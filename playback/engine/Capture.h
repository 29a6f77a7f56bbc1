// The microphone's capture device: a WASAPI capture stream in shared mode, event-driven, on a
// thread of its own that writes every packet into a LiveInput as soon as the device hands it
// over. Device 1 is the system's default capture device (followed when the default changes),
// 2.. a capture endpoint by ID. A lost device (unplugged, disabled) is looked for again when the
// system says an endpoint came back and twice a second in between; meanwhile the outputs go on
// with the effects, and the voice comes back by itself.
//
// Threads: Open and Close on the controlling thread; the notification handlers on the system's
// notification thread; the capture thread owns the device.
#pragma once

#include "playback/engine/LiveInput.h"

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace velmora::audio {

class Capture {
 public:
  Capture();
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  // Starts capturing `device` (endpoint `endpointId` for 2..) into `input`; `started` is called
  // on the capture thread whenever the device (re)starts, so the outputs can be woken. Waits
  // until the device runs or has failed; false then (and nothing is left running).
  bool Open(int device, const std::wstring& endpointId, std::shared_ptr<LiveInput> input, std::function<void()> started);
  void Close();
  bool IsOpen() const { return thread_.joinable(); }
  int Device() const { return device_.load(); }
  const std::wstring& EndpointId() const { return endpointId_; }
  bool Lost() const { return lost_.load(); }

  void OnDefaultDeviceChanged();
  void OnDeviceRemoved();
  void OnDeviceArrived();

 private:
  struct Events;
  class Recorder;

  void Run(std::promise<bool>& started);

  std::atomic<int> device_{-1};
  std::wstring endpointId_;
  std::shared_ptr<LiveInput> input_;
  std::function<void()> onStarted_;
  std::thread thread_;
  // The stop and wake events, constant between construction and destruction. Defined in
  // Capture.cpp so this header stays free of windows.h.
  const std::unique_ptr<Events> events_;
  std::atomic<bool> lost_{false};
  std::atomic<bool> reopen_{false};
};

}  // namespace velmora::audio
