#include "playback/engine/Capture.h"

#include "base/ComPtr.h"
#include "playback/engine/Clock.h"
#include "playback/engine/Devices.h"
#include "playback/engine/DeviceThread.h"

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <utility>

namespace velmora::audio {

namespace {

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
                    CaptureStream& out, bool& lowLatency) {
  out.Release();
  ComPtr<IAudioClient> client;
  // A packet is handed over each device period (the smallest the device offers, where the system
  // allows it); the buffer only has to hold a few while this thread is late, and its size adds
  // nothing to the delay.
  HRESULT hr = OpenEngineClient(enumerator, endpointId, eCapture, 1000000, audioEvent, client, true, &lowLatency);
  if (FAILED(hr)) return hr;
  ComPtr<IAudioCaptureClient> capture;
  if (FAILED(hr = client->GetService(__uuidof(IAudioCaptureClient), capture.PutVoid()))) return hr;
  if (FAILED(hr = client->Start())) return hr;
  out.client = std::move(client);
  out.capture = std::move(capture);
  return S_OK;
}

}  // namespace

// The capture stream as its device thread drives it: every packet the device holds goes to the
// live input as soon as the device signals.
class Capture::Recorder final : public DeviceStream {
 public:
  Recorder(std::shared_ptr<LiveInput> input, std::function<void()> started, std::atomic<bool>& lowLatency)
      : input_(std::move(input)), started_(std::move(started)), frequency_(QpcFrequency()), lowLatency_(lowLatency) {}

  HRESULT Open(IMMDeviceEnumerator* enumerator, const std::wstring& endpointId, HANDLE event) override {
    bool low = false;
    const HRESULT hr = OpenCapture(enumerator, endpointId, event, stream_, low);
    lowLatency_ = low;
    return hr;
  }
  void Release() override { stream_.Release(); }
  bool IsOpen() const override { return static_cast<bool>(stream_.client); }
  bool Running() const override { return true; }
  DWORD WaitMs() const override { return 200; }
  HRESULT Service(bool) override { return Drain(); }
  // The voice starts over from the new device; the outputs are woken to take it.
  void Opened() override {
    input_->Restart();
    if (started_) started_();
  }
  // Gone: the outputs go on without the voice until it is back.
  void Dropped() override { input_->Restart(); }

 private:
  HRESULT Drain();

  const std::shared_ptr<LiveInput> input_;
  const std::function<void()> started_;
  const int64_t frequency_;
  std::atomic<bool>& lowLatency_;
  CaptureStream stream_;
};

// Hands every packet the device holds to the live input.
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
    input_->Write((flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : reinterpret_cast<const float*>(data), frames,
                  recorded);
    hr = stream_.capture->ReleaseBuffer(frames);
    MarkProgress();
    if (FAILED(hr)) break;
  }
  return hr;
}

Capture::~Capture() { Close(); }

bool Capture::Open(int device, const std::wstring& endpointId, std::shared_ptr<LiveInput> input,
                   std::function<void()> started) {
  if (IsOpen() || !input || device < kDefaultDevice) return false;
  return worker_.Open(device, endpointId, DeviceWorker::Flow::kCapture,
                      [this, input = std::move(input), started = std::move(started)]() -> std::unique_ptr<DeviceStream> {
                        return std::make_unique<Recorder>(input, started, lowLatency_);
                      });
}

void Capture::Close() {
  worker_.Close();
  lowLatency_ = false;
}

}  // namespace velmora::audio
