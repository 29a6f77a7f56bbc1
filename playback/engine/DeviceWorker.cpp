#include "playback/engine/DeviceWorker.h"

#include "base/Handles.h"
#include "playback/engine/Devices.h"
#include "playback/engine/DeviceThread.h"

#include <windows.h>

#include <exception>
#include <utility>

namespace velmora::audio {

namespace {

constexpr DWORD kRetryMs = 500;  // how often a lost device is looked for again
// A running stream whose device has not moved for this long has been dropped under us (a driver
// that keeps answering for a stream whose device went away): open it again. A safety net only,
// well above the pauses a busy machine puts between two periods: reopening a stream that was
// merely late throws away what it held, which the listener hears as a gap.
constexpr int64_t kStallMs = 2000;
// How long a play waits for the device thread to look for a lost device.
constexpr DWORD kLostPlayWaitMs = 250;

}  // namespace

// The events the controlling thread and the device thread meet at.
struct DeviceWorker::Events {
  UniqueKernelHandle stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueKernelHandle wake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  // Set by the device thread after each attempt to open the device.
  UniqueKernelHandle attempt{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

// The device thread's loop: one wait, then one step per thing that can have happened: the device
// changed or is lost, the device (or a play) asks for service, the stream failed or stalled.
class DeviceWorker::Loop {
 public:
  Loop(DeviceWorker& worker, DeviceThread& thread, DeviceStream& stream)
      : worker_(worker),
        thread_(thread),
        stream_(stream),
        waits_{worker.events_->stop.Get(), worker.events_->wake.Get(), thread.Event()},
        stallTicks_(kStallMs * QpcFrequency() / 1000) {}
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  void Run() {
    for (;;) {
      const DWORD woke = Wait();
      if (woke == WAIT_OBJECT_0) break;
      if (!FollowDevice()) continue;
      HRESULT hr = stream_.Service(woke == WAIT_OBJECT_0 + 2);
      if (SUCCEEDED(hr) && stream_.Running() && Qpc() - stream_.LastProgress() > stallTicks_) {
        hr = AUDCLNT_E_DEVICE_INVALIDATED;  // the device stopped moving
      }
      if (SUCCEEDED(hr)) {
        retryAtOnce_ = true;
        worker_.parked_ = stream_.Parked();
      } else {
        Drop();
      }
    }
    stream_.Release();
  }

 private:
  DWORD Wait() const {
    // While the stream is not running only a play (or a device change) wakes the thread, so an
    // idle device costs nothing.
    if (!stream_.IsOpen()) return ::WaitForMultipleObjects(2, waits_, FALSE, stream_.Parked() ? INFINITE : kRetryMs);
    return ::WaitForMultipleObjects(stream_.Running() ? 3 : 2, waits_, FALSE, stream_.WaitMs());
  }

  // False while there is no stream to service.
  bool FollowDevice() {
    if (worker_.reopen_.exchange(false)) stream_.Release();
    if (stream_.IsOpen()) return true;
    // Device gone or default changed: look again. Until it is back, plays are refused.
    const uint32_t asked = worker_.retriesAsked_.load();
    const int64_t started = Qpc();
    const HRESULT hr = stream_.Open(thread_.Enumerator(), worker_.endpointId_, thread_.Event());
    worker_.lastOpenTicks_ = Qpc() - started;
    worker_.lost_ = FAILED(hr);
    worker_.parked_ = false;
    worker_.retriesAnswered_ = asked;
    ::SetEvent(worker_.events_->attempt.Get());
    if (FAILED(hr)) {
      stream_.Release();
      return false;
    }
    stream_.MarkProgress();
    stream_.Opened();
    return true;
  }

  void Drop() {
    // AUDCLNT_E_DEVICE_INVALIDATED and friends: drop the stream and look for the device again, at
    // once the first time; it is lost only if that fails. After that the retry timer paces it,
    // so a device that opens but never plays cannot spin this thread.
    stream_.Release();
    stream_.Dropped();
    if (std::exchange(retryAtOnce_, false)) worker_.Wake();
  }

  DeviceWorker& worker_;
  DeviceThread& thread_;
  DeviceStream& stream_;
  const HANDLE waits_[3];
  const int64_t stallTicks_;
  bool retryAtOnce_ = true;  // a stream that failed is opened again at once, the first time
};

DeviceWorker::DeviceWorker() : events_(std::make_unique<Events>()) {}

DeviceWorker::~DeviceWorker() { Close(); }

bool DeviceWorker::Open(int device, const std::wstring& endpointId, Flow flow, StreamFactory makeStream) {
  if (IsOpen() || device < 0 || !makeStream) return false;
  if (device >= kFirstEndpointDevice && endpointId.empty()) return false;
  try {
    endpointId_ = device >= kFirstEndpointDevice ? endpointId : std::wstring();
    ::ResetEvent(events_->stop.Get());
    lost_ = false;
    parked_ = false;
    reopen_ = false;
    device_ = device;
    std::promise<bool> opened;
    std::future<bool> result = opened.get_future();
    // The promise and the factory move into the thread, so nothing of them is left on this stack
    // once Open returns.
    thread_ = std::thread([this, flow, make = std::move(makeStream), promise = std::move(opened)]() mutable {
      Run(flow, make, promise);
    });
    const bool ok = result.get();
    if (!ok) Close();
    return ok;
  } catch (const std::exception&) {  // no memory, or no thread to be had
    Close();
    return false;
  }
}

void DeviceWorker::Close() {
  if (thread_.joinable()) {
    ::SetEvent(events_->stop.Get());
    thread_.join();
  }
  device_ = -1;
  endpointId_.clear();
  lost_ = false;
  parked_ = false;
}

void DeviceWorker::Run(Flow flow, StreamFactory& makeStream, std::promise<bool>& opened) {
  NameThisThread(flow == Flow::kRender ? L"velmora render" : L"velmora capture");
  DeviceThread thread;  // before the stream: COM outlives the stream's client
  std::unique_ptr<DeviceStream> stream;
  try {
    stream = makeStream();
  } catch (const std::exception&) {
  }
  HRESULT hr = stream ? thread.Created() : E_OUTOFMEMORY;
  if (SUCCEEDED(hr)) hr = stream->Open(thread.Enumerator(), endpointId_, thread.Event());
  if (FAILED(hr)) {
    if (stream) stream->Release();
    opened.set_value(false);
    return;
  }
  thread.Listen(*this, device_ == kDefaultDevice, flow == Flow::kRender ? eRender : eCapture);
  stream->MarkProgress();
  stream->Opened();
  opened.set_value(true);
  Loop(*this, thread, *stream).Run();
}

bool DeviceWorker::EnsureDevice() {
  if (!IsOpen()) return false;
  if (!lost_ && !parked_) return true;
  const uint32_t ticket = ++retriesAsked_;
  Wake();
  const ULONGLONG deadline = ::GetTickCount64() + kLostPlayWaitMs;
  for (;;) {
    if ((!lost_ && !parked_) || static_cast<int32_t>(retriesAnswered_.load() - ticket) >= 0) break;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) break;
    ::WaitForSingleObject(events_->attempt.Get(), static_cast<DWORD>(deadline - now));
  }
  return !lost_;
}

void DeviceWorker::Wake() { ::SetEvent(events_->wake.Get()); }

void DeviceWorker::OnDefaultDeviceChanged() {
  if (device_ != kDefaultDevice) return;
  reopen_ = true;
  Wake();
}

void DeviceWorker::OnDeviceRemoved() {
  // Whichever endpoint it was, the device thread checks its own by reopening it.
  reopen_ = true;
  Wake();
}

void DeviceWorker::OnDeviceArrived() {
  // Woken, a lost device is looked for at once. Not only when lost_ is already set: the device
  // may come back before the device thread has noticed it was gone.
  Wake();
}

}  // namespace velmora::audio
