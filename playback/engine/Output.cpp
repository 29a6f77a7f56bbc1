#include "playback/engine/Output.h"

#include "base/ComPtr.h"
#include "playback/engine/Clock.h"
#include "playback/engine/Devices.h"
#include "playback/engine/DeviceThread.h"

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace velmora::audio {

namespace {

// One initialised, running shared-mode stream.
struct OutputStream {
  ComPtr<IAudioClient> client;
  ComPtr<IAudioRenderClient> render;
  UINT32 bufferFrames = 0;
  UINT32 periodFrames = 0;

  bool running = false;

  void Release() {
    if (client) client->Stop();
    running = false;
    render.Reset();
    client.Reset();
  }
};

// Opens `endpointId` (the default output when empty) for 44.1 kHz stereo float; the audio
// engine converts to whatever the device mixes at.
// The engine period a low-latency stream runs at, in frames; 0 when it cannot be told.
UINT32 LowLatencyPeriod(IAudioClient* client) {
  ComPtr<IAudioClient3> client3;
  WAVEFORMATEX* format = nullptr;
  UINT32 frames = 0;
  if (SUCCEEDED(client->QueryInterface(__uuidof(IAudioClient3), client3.PutVoid())) &&
      SUCCEEDED(client3->GetCurrentSharedModeEnginePeriod(&format, &frames))) {
    ::CoTaskMemFree(format);
  }
  return frames;
}

HRESULT OpenStream(IMMDeviceEnumerator* enumerator, const std::wstring& endpointId, HANDLE audioEvent,
                   OutputStream& out, bool lowLatency, bool& gotLowLatency) {
  out.Release();
  // Two device periods of buffer: one being played, one free for a new effect to land in. The
  // less is queued, the sooner a replaced effect falls silent.
  ComPtr<IAudioClient> client;
  HRESULT hr = OpenEngineClient(enumerator, endpointId, eRender, 0, audioEvent, client, lowLatency, &gotLowLatency);
  if (FAILED(hr)) return hr;
  REFERENCE_TIME period = 0;
  if (FAILED(client->GetDevicePeriod(&period, nullptr)) || period <= 0) period = 100000;  // 10 ms
  if (FAILED(hr = client->GetBufferSize(&out.bufferFrames))) return hr;
  out.periodFrames = static_cast<UINT32>(std::min<int64_t>(period * kEngineRate / 10000000, out.bufferFrames / 2));
  if (const UINT32 low = gotLowLatency ? LowLatencyPeriod(client.Get()) : 0; low > 0)
    out.periodFrames = std::min(low, out.bufferFrames / 2);
  ComPtr<IAudioRenderClient> render;
  if (FAILED(hr = client->GetService(__uuidof(IAudioRenderClient), render.PutVoid()))) return hr;

  // Not started here: the render thread starts the stream when a voice plays, with the first
  // samples already in the buffer, and stops it again after a second of silence.
  out.client = std::move(client);
  out.render = std::move(render);
  return S_OK;
}

// Whether a reset stream drops exactly what its padding counted. On Windows it does: the
// padding is what the audio engine has not yet taken, to the frame. Under Wine's PulseAudio
// driver it does not: the padding falls a period at a time by the driver's own clock, while the
// sound server holds a further 0-10 ms (different for every stream start) that a reset throws
// away too, so the fade would start after a jump and click, and a reset stream there sometimes
// stayed silent for seconds. There the queued samples play out instead. VELMORA_TAKE_BACK=1 or 0
// overrides it (the benchmarks measure both roads).
bool TakesBackQueuedSamples() {
  wchar_t forced[4] = {};
  if (::GetEnvironmentVariableW(L"VELMORA_TAKE_BACK", forced, 4) == 1) return forced[0] == L'1';
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return !(ntdll && ::GetProcAddress(ntdll, "wine_get_version"));
}

}  // namespace

// An endpoint's stream as its render thread drives it: the device it owns, the stream it writes
// and the pacing between two writes.
class Output::Renderer final : public DeviceStream {
 public:
  Renderer(Mixer& mixer, int index, Shared& shared)
      : mixer_(mixer), index_(index), takesBack_(TakesBackQueuedSamples()), shared_(shared) {}

  HRESULT Open(IMMDeviceEnumerator* enumerator, const std::wstring& endpointId, HANDLE event) override {
    queued_ = 0;
    parked_ = false;
    stoppedAt_ = Qpc();  // idle from here until a voice plays
    const bool wanted = shared_.lowLatencyWanted.load();
    bool got = false;
    const HRESULT hr = OpenStream(enumerator, endpointId, event, stream_, wanted, got);
    if (SUCCEEDED(hr)) {
      shared_.lowLatency = got;
      if (wanted && !got) shared_.lowLatencyRefused = true;
    }
    return hr;
  }
  void Release() override { stream_.Release(); }
  bool IsOpen() const override { return static_cast<bool>(stream_.client); }
  bool Parked() const override { return parked_; }
  bool Running() const override { return stream_.running; }
  // Stopped, the thread wakes once more when the stream is due to be released.
  DWORD WaitMs() const override {
    if (stream_.running) return 200;
    const int64_t left = stoppedAt_ + static_cast<int64_t>(shared_.releaseAfterMs.load()) * QpcFrequency() / 1000 - Qpc();
    return left <= 0 ? 0 : static_cast<DWORD>(left * 1000 / QpcFrequency() + 1);
  }
  HRESULT Service(bool devicePeriod) override { return Write(devicePeriod); }
  void Opened() override { mixer_.EnableTakeBack(index_, takesBack_); }
  void Dropped() override {
    mixer_.EnableTakeBack(index_, false);
    mixer_.OutputStopped(index_);
  }

 private:
  HRESULT Write(bool devicePeriod);
  HRESULT TakeBack();
  HRESULT Padding(UINT32& padding, int64_t& paddingAt);
  HRESULT StartOrIdle();

  Mixer& mixer_;
  const int index_;
  const bool takesBack_;
  Shared& shared_;
  OutputStream stream_;
  int64_t stoppedAt_ = 0;  // when the stream last stopped
  bool parked_ = false;
  int silentFills_ = 0;
  UINT32 queued_ = 0;  // frames in the device after our last write
};

// Fills what the device has room for. `devicePeriod` when the device asked rather than a play.
HRESULT Output::Renderer::Write(bool devicePeriod) {
  HRESULT hr = S_OK;
  if (mixer_.TakeBackWanted(index_) && stream_.running && FAILED(hr = TakeBack())) return hr;
  UINT32 padding = 0;
  int64_t paddingAt = 0;
  hr = Padding(padding, paddingAt);
  // The device's own events keep one period free at the end of the buffer; a play (the wake
  // event) may use it, so a new effect's first samples are written at once instead of at the
  // next period.
  const UINT32 limit = devicePeriod ? stream_.bufferFrames - stream_.periodFrames : stream_.bufferFrames;
  const UINT32 available = SUCCEEDED(hr) ? limit - std::min(padding, limit) : 0;
  if (FAILED(hr) || available == 0) return hr;
  if (!stream_.running && !mixer_.HasAudibleVoice(index_)) {
    // Quiet for long: the client goes, and with it the system's timer that served it.
    if (Qpc() - stoppedAt_ >= static_cast<int64_t>(shared_.releaseAfterMs.load()) * QpcFrequency() / 1000) {
      stream_.Release();
      parked_ = true;
    }
    return hr;
  }
  BYTE* data = nullptr;
  if (FAILED(hr = stream_.render->GetBuffer(available, &data))) return hr;
  const bool sound = mixer_.Mix(index_, reinterpret_cast<float*>(data), available, padding, paddingAt);
  hr = stream_.render->ReleaseBuffer(available, sound ? 0 : AUDCLNT_BUFFERFLAGS_SILENT);
  silentFills_ = sound ? 0 : silentFills_ + 1;
  queued_ = padding + available;
  return SUCCEEDED(hr) ? StartOrIdle() : hr;
}

// A play replaced what was sounding: what the device still holds is dropped (the stream stopped,
// reset, and started again by the write that follows, the new effect first) and the mixer goes
// back to the device's last frame, from where the old effect fades out under the new one.
HRESULT Output::Renderer::TakeBack() {
  UINT32 held = 0;
  HRESULT hr = stream_.client->Stop();
  if (SUCCEEDED(hr)) hr = stream_.client->GetCurrentPadding(&held);
  if (SUCCEEDED(hr)) hr = stream_.client->Reset();
  stream_.running = false;
  if (FAILED(hr)) return hr;
  mixer_.TakeBack(index_, held);
  queued_ = 0;
  return S_OK;
}

// How far the device is from the end of what we wrote, and when that was asked.
HRESULT Output::Renderer::Padding(UINT32& padding, int64_t& paddingAt) {
  const HRESULT hr = stream_.running ? stream_.client->GetCurrentPadding(&padding) : S_OK;
  paddingAt = Qpc();
  if (SUCCEEDED(hr) && stream_.running && (padding < queued_ || padding == 0)) MarkProgress();
  return hr;
}

// After a write: starts the stream with its first samples in, or stops it after a second of
// silence.
HRESULT Output::Renderer::StartOrIdle() {
  constexpr int kIdleFillsBeforeStop = 100;  // about a second of silent periods
  if (!stream_.running) {
    const HRESULT hr = stream_.client->Start();
    stream_.running = SUCCEEDED(hr);
    MarkProgress();
    return hr;
  }
  if (silentFills_ > kIdleFillsBeforeStop) {
    stream_.client->Stop();
    stream_.client->Reset();
    stream_.running = false;
    stoppedAt_ = Qpc();
    mixer_.OutputStopped(index_);
    silentFills_ = 0;
  }
  return S_OK;
}

// The null output: consumes the voices in real time, in steps of a few milliseconds, without a
// device.
class Output::NullRenderer final : public DeviceStream {
 public:
  NullRenderer(Mixer& mixer, int index)
      : mixer_(mixer), index_(index), frequency_(QpcFrequency()), scratch_(kStep * kEngineChannels) {}

  HRESULT Open(IMMDeviceEnumerator*, const std::wstring&, HANDLE) override {
    last_ = Qpc();
    open_ = true;
    return S_OK;
  }
  void Release() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool Running() const override { return false; }
  DWORD WaitMs() const override { return 5; }
  HRESULT Service(bool) override {
    const int64_t now = Qpc();
    owedTicks_ += now - last_;
    last_ = now;
    int64_t frames = owedTicks_ * kEngineRate / frequency_;
    owedTicks_ -= frames * frequency_ / kEngineRate;
    while (frames > 0) {
      const uint32_t step = static_cast<uint32_t>(std::min<int64_t>(frames, kStep));
      mixer_.Mix(index_, scratch_.data(), step, 0);
      frames -= step;
    }
    return S_OK;
  }

 private:
  static constexpr uint32_t kStep = 4096;
  Mixer& mixer_;
  const int index_;
  const int64_t frequency_;
  std::vector<float> scratch_;
  int64_t last_ = 0;
  int64_t owedTicks_ = 0;
  bool open_ = false;
};

Output::Output(Mixer& mixer, int index) : mixer_(mixer), index_(index) {}

Output::~Output() { Close(); }

bool Output::Open(int device, const std::wstring& endpointId) {
  if (IsOpen()) return false;
  Mixer& mixer = mixer_;
  const int index = index_;
  Shared& shared = shared_;
  return worker_.Open(device, endpointId, DeviceWorker::Flow::kRender,
                      [&mixer, index, device, &shared]() -> std::unique_ptr<DeviceStream> {
                        if (device == kNoSoundDevice) return std::make_unique<NullRenderer>(mixer, index);
                        return std::make_unique<Renderer>(mixer, index, shared);
                      });
}

bool Output::OpenOffline() {
  if (IsOpen()) return false;
  offline_ = true;
  return true;
}

void Output::Close() {
  worker_.Close();
  offline_ = false;
  mixer_.OutputClosed(index_);
}

void Output::SetLowLatency(bool on) {
  if (shared_.lowLatencyWanted.exchange(on) == on || offline_ || shared_.lowLatencyRefused) return;
  worker_.OnDeviceRemoved();  // opened again, as asked
}

bool Output::Render(float* out, uint32_t frames) {
  return offline_ && mixer_.Mix(index_, out, frames, 0, Mixer::kUnclocked);
}

}  // namespace velmora::audio
