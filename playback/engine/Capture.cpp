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

// The capture thread: the device it owns and the stream it reads. One wait, then one step per
// thing that can have happened: the device changed or is lost, packets came, the stream failed.
class Capture::Recorder {
 public:
  explicit Recorder(Capture& capture)
      : capture_(capture),
        waits_{capture.events_->stop.Get(), capture.events_->wake.Get(), thread_.Event()},
        frequency_(QpcFrequency()) {}
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  HRESULT Open();
  void Run();

 private:
  bool FollowDevice();
  HRESULT Drain();
  void DropStream();

  Capture& capture_;
  DeviceThread<Capture> thread_;  // before the stream: COM outlives the stream's client
  CaptureStream stream_;
  const HANDLE waits_[3];
  const int64_t frequency_;
  int64_t lastPacket_ = 0;
};

HRESULT Capture::Recorder::Open() {
  HRESULT hr = thread_.Created();
  if (SUCCEEDED(hr)) hr = OpenCapture(thread_.Enumerator(), capture_.endpointId_, thread_.Event(), stream_);
  if (FAILED(hr)) {
    stream_.Release();
    return hr;
  }
  thread_.Listen(capture_, capture_.device_ == kDefaultDevice, eCapture);
  return S_OK;
}

void Capture::Recorder::Run() {
  lastPacket_ = Qpc();
  for (;;) {
    const DWORD woke = ::WaitForMultipleObjects(stream_.client ? 3 : 2, waits_, FALSE, stream_.client ? 200 : kRetryMs);
    if (woke == WAIT_OBJECT_0) break;
    if (!FollowDevice()) continue;
    if (FAILED(Drain())) DropStream();
  }
  stream_.Release();
}

// False while there is no stream to read.
bool Capture::Recorder::FollowDevice() {
  if (capture_.reopen_.exchange(false)) stream_.Release();
  if (stream_.client) return true;
  const HRESULT hr = OpenCapture(thread_.Enumerator(), capture_.endpointId_, thread_.Event(), stream_);
  capture_.lost_ = FAILED(hr);
  if (FAILED(hr)) {
    stream_.Release();
    return false;
  }
  capture_.input_->Restart();
  lastPacket_ = Qpc();
  if (capture_.onStarted_) capture_.onStarted_();
  return true;
}

// Hands every packet the device holds to the live input; fails for a device that has sent
// nothing for too long.
HRESULT Capture::Recorder::Drain() {
  HRESULT hr = S_OK;
  UINT32 packet = 0;
  while (SUCCEEDED(hr = stream_.capture->GetNextPacketSize(&packet)) && packet > 0) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 qpcPosition = 0;  // when the first frame was recorded, in 100 ns units
    if (FAILED(hr = stream_.capture->GetBuffer(&data, &frames, &flags, nullptr, &qpcPosition))) break;
    const int64_t now = Qpc();
    int64_t recorded =
        qpcPosition != 0
            ? static_cast<int64_t>(static_cast<double>(qpcPosition) * static_cast<double>(frequency_) / 1e7)
            : 0;
    if (recorded <= 0 || recorded > now) recorded = now - static_cast<int64_t>(frames) * frequency_ / kEngineRate;
    capture_.input_->Write((flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : reinterpret_cast<const float*>(data),
                           frames, recorded);
    hr = stream_.capture->ReleaseBuffer(frames);
    lastPacket_ = now;
    if (FAILED(hr)) break;
  }
  if (SUCCEEDED(hr) && Qpc() - lastPacket_ > kStallMs * frequency_ / 1000) hr = AUDCLNT_E_DEVICE_INVALIDATED;
  return hr;
}

void Capture::Recorder::DropStream() {
  // Gone: the outputs go on without the voice; looked for again at once, then twice a second.
  stream_.Release();
  capture_.input_->Restart();
  ::SetEvent(capture_.events_->wake.Get());
}

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
  Recorder recorder(*this);
  if (FAILED(recorder.Open())) {
    opened.set_value(false);
    return;
  }
  input_->Restart();
  opened.set_value(true);
  if (onStarted_) onStarted_();
  recorder.Run();
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
