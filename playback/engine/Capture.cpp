#include "playback/engine/Capture.h"

#include "base/ComPtr.h"
#include "base/Handles.h"
#include "playback/engine/Clock.h"
#include "playback/engine/Devices.h"
#include "playback/engine/DeviceThread.h"

#include <windows.h>
#include <audioclient.h>
#include <avrt.h>
#include <mmdeviceapi.h>

#include <exception>
#include <new>
#include <utility>

namespace velmora::audio {

namespace {

constexpr DWORD kRetryMs = 500;
// A running device that has sent nothing for this long has been dropped under us.
constexpr int64_t kStallMs = 2000;

struct CaptureStream {
  ComPtr<IAudioClient> client;
  ComPtr<IAudioCaptureClient> capture;

  void Release() {
    if (client) client->Stop();
    capture.Reset();
    client.Reset();
  }
};

// Opens and starts the capture device at the engine's rate and layout (44.1 kHz stereo float;
// the system converts from whatever the device records).
HRESULT OpenCapture(IMMDeviceEnumerator* enumerator, const std::wstring& endpointId, HANDLE audioEvent,
                    CaptureStream& out) {
  out.Release();
  ComPtr<IAudioClient> client;
  // A packet is handed over each device period; the buffer only has to hold a few while this
  // thread is late, and its size adds nothing to the delay.
  HRESULT hr = OpenEngineClient(enumerator, endpointId, eCapture, 1000000, audioEvent, client);
  if (FAILED(hr)) return hr;
  ComPtr<IAudioCaptureClient> capture;
  if (FAILED(hr = client->GetService(__uuidof(IAudioCaptureClient), capture.PutVoid()))) return hr;
  if (FAILED(hr = client->Start())) return hr;
  out.client = std::move(client);
  out.capture = std::move(capture);
  return S_OK;
}

}  // namespace

// The events the controlling thread and the capture thread meet at.
struct Capture::Events {
  UniqueKernelHandle stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueKernelHandle wake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

Capture::Capture() : events_(std::make_unique<Events>()) {}

Capture::~Capture() { Close(); }

bool Capture::Open(int device, const std::wstring& endpointId, std::shared_ptr<LiveInput> input,
                   std::function<void()> started) {
  if (IsOpen() || !input || device < kDefaultDevice) return false;
  if (device >= kFirstEndpointDevice && endpointId.empty()) return false;
  try {
    device_ = device;
    endpointId_ = device >= kFirstEndpointDevice ? endpointId : std::wstring();
    input_ = std::move(input);
    onStarted_ = std::move(started);
    lost_ = false;
    reopen_ = false;
    ::ResetEvent(events_->stop.Get());
    std::promise<bool> opened;
    std::future<bool> result = opened.get_future();
    thread_ = std::thread([this, promise = std::move(opened)]() mutable { Run(promise); });
    const bool ok = result.get();
    if (!ok) Close();
    return ok;
  } catch (const std::exception&) {
    Close();
    return false;
  }
}

void Capture::Close() {
  if (thread_.joinable()) {
    ::SetEvent(events_->stop.Get());
    thread_.join();
  }
  device_ = -1;
  endpointId_.clear();
  input_.reset();
  onStarted_ = nullptr;
  lost_ = false;
}

void Capture::Run(std::promise<bool>& opened) {
  DeviceThread<Capture> thread;
  CaptureStream stream;
  const HANDLE audioEvent = thread.Event();
  HRESULT hr = thread.Created();
  if (SUCCEEDED(hr)) hr = OpenCapture(thread.Enumerator(), endpointId_, audioEvent, stream);
  if (FAILED(hr)) {
    stream.Release();
    opened.set_value(false);
    return;
  }
  thread.Listen(*this, device_ == kDefaultDevice, eCapture);
  input_->Restart();
  opened.set_value(true);
  if (onStarted_) onStarted_();

  const int64_t frequency = QpcFrequency();
  int64_t lastPacket = Qpc();
  const HANDLE waits[] = {events_->stop.Get(), events_->wake.Get(), audioEvent};
  for (;;) {
    const DWORD woke = ::WaitForMultipleObjects(stream.client ? 3 : 2, waits, FALSE, stream.client ? 200 : kRetryMs);
    if (woke == WAIT_OBJECT_0) break;
    if (reopen_.exchange(false)) stream.Release();
    if (!stream.client) {
      hr = OpenCapture(thread.Enumerator(), endpointId_, audioEvent, stream);
      lost_ = FAILED(hr);
      if (FAILED(hr)) {
        stream.Release();
        continue;
      }
      input_->Restart();
      lastPacket = Qpc();
      if (onStarted_) onStarted_();
    }
    UINT32 packet = 0;
    while (SUCCEEDED(hr = stream.capture->GetNextPacketSize(&packet)) && packet > 0) {
      BYTE* data = nullptr;
      UINT32 frames = 0;
      DWORD flags = 0;
      UINT64 qpcPosition = 0;  // when the first frame was recorded, in 100 ns units
      if (FAILED(hr = stream.capture->GetBuffer(&data, &frames, &flags, nullptr, &qpcPosition))) break;
      const int64_t now = Qpc();
      int64_t recorded = qpcPosition != 0 ? static_cast<int64_t>(static_cast<double>(qpcPosition) * static_cast<double>(frequency) / 1e7) : 0;
      if (recorded <= 0 || recorded > now) recorded = now - static_cast<int64_t>(frames) * frequency / kEngineRate;
      input_->Write((flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : reinterpret_cast<const float*>(data), frames,
                    recorded);
      hr = stream.capture->ReleaseBuffer(frames);
      lastPacket = now;
      if (FAILED(hr)) break;
    }
    if (SUCCEEDED(hr) && Qpc() - lastPacket > kStallMs * frequency / 1000) hr = AUDCLNT_E_DEVICE_INVALIDATED;
    if (FAILED(hr)) {
      // Gone: the outputs go on without the voice; looked for again at once, then twice a second.
      stream.Release();
      input_->Restart();
      ::SetEvent(events_->wake.Get());
    }
  }

  stream.Release();
}

void Capture::OnDefaultDeviceChanged() {
  if (device_ != kDefaultDevice) return;
  reopen_ = true;
  ::SetEvent(events_->wake.Get());
}

void Capture::OnDeviceRemoved() {
  reopen_ = true;
  ::SetEvent(events_->wake.Get());
}

void Capture::OnDeviceArrived() { ::SetEvent(events_->wake.Get()); }

}  // namespace velmora::audio
