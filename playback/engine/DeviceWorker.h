// The thread that owns one audio device for the engine: an output's render thread, or the
// microphone's capture thread. It opens the device's stream, waits on one set of events and
// hands each wake-up to the stream (DeviceStream, DeviceThread.h), and keeps the policy every
// device shares: a stream that fails is dropped and opened again (at once the first time, then
// twice a second), one whose device stopped moving for two seconds counts as failed, and the
// endpoint notifications (device added, removed, default changed) make it look again at once.
// A lost device never stops the thread; the others go on as they were.
//
// Threads: Open, Close, EnsureDevice and Wake from the controlling thread (the UI thread); the
// notification handlers from the system's notification thread too. The device thread meets them
// only in atomics and events.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace velmora::audio {

class DeviceStream;

class DeviceWorker {
 public:
  enum class Flow { kRender, kCapture };
  // Builds the stream on the device thread, once its COM is up.
  using StreamFactory = std::function<std::unique_ptr<DeviceStream>()>;

  DeviceWorker();
  ~DeviceWorker();
  DeviceWorker(const DeviceWorker&) = delete;
  DeviceWorker& operator=(const DeviceWorker&) = delete;

  // Starts the thread for `device` (numbers of Devices.h; `endpointId` for 2..) and waits until
  // its stream is open or has failed to open: false then, and nothing is left running.
  bool Open(int device, const std::wstring& endpointId, Flow flow, StreamFactory makeStream);
  void Close();
  bool IsOpen() const { return thread_.joinable(); }
  int Device() const { return device_.load(); }
  const std::wstring& EndpointId() const { return endpointId_; }
  bool Lost() const { return lost_.load(); }
  // True when the device is there; while it is lost, or its stream was released for idleness,
  // has the device thread open it at once and waits (a quarter of a second at most) for the
  // answer.
  bool EnsureDevice();
  // The stream was released for idleness (see DeviceStream::Parked).
  bool Parked() const { return parked_.load(); }
  // How long the last opening of the stream took (QueryPerformanceCounter ticks).
  int64_t LastOpenTicks() const { return lastOpenTicks_.load(); }
  // Has the stream serviced now instead of at the device's next period.
  void Wake();

  void OnDefaultDeviceChanged();
  void OnDeviceRemoved();
  void OnDeviceArrived();

 private:
  struct Events;
  class Loop;

  void Run(Flow flow, StreamFactory& makeStream, std::promise<bool>& opened);

  std::wstring endpointId_;  // controlling thread; constant while the thread runs
  std::thread thread_;       // controlling thread only
  // The stop, wake and attempt events, constant between construction and destruction. Defined
  // in DeviceWorker.cpp so this header stays free of windows.h.
  const std::unique_ptr<Events> events_;
  std::atomic<int> device_{-1};
  std::atomic<bool> lost_{false};
  std::atomic<bool> parked_{false};
  std::atomic<bool> reopen_{false};
  std::atomic<int64_t> lastOpenTicks_{0};
  // Looks for a lost device asked for (by a play) and answered, as running counts: the device
  // thread answers a request with the first attempt it starts after it.
  std::atomic<uint32_t> retriesAsked_{0};
  std::atomic<uint32_t> retriesAnswered_{0};
};

}  // namespace velmora::audio
