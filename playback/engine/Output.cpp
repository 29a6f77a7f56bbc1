#include "playback/engine/Output.h"

#include "base/ComPtr.h"
#include "base/Handles.h"
#include "playback/engine/Clock.h"
#include "playback/engine/Devices.h"
#include "playback/engine/DeviceThread.h"

#include <windows.h>
#include <audioclient.h>
#include <avrt.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <exception>
#include <future>
#include <new>
#include <utility>

namespace velmora::audio {

namespace {

constexpr DWORD kRetryMs = 500;  // how often a lost device is looked for again
// A running stream whose device has not taken a sample for this long has been dropped under us
// (a driver that keeps answering for a stream whose device went away): open it again. A safety
// net only, well above the pauses a busy machine puts between two periods: reopening a stream
// that was merely late throws away what it held, which the listener hears as a gap.
constexpr int64_t kStallMs = 2000;
// How long a play waits for the render thread to look for a lost device.
constexpr DWORD kLostPlayWaitMs = 250;

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
HRESULT OpenStream(IMMDeviceEnumerator* enumerator, const std::wstring& endpointId, HANDLE audioEvent,
                   OutputStream& out) {
  out.Release();
  // Two device periods of buffer: one being played, one free for a new effect to land in. The
  // less is queued, the sooner a replaced effect falls silent.
  ComPtr<IAudioClient> client;
  HRESULT hr = OpenEngineClient(enumerator, endpointId, eRender, 0, audioEvent, client);
  if (FAILED(hr)) return hr;
  REFERENCE_TIME period = 0;
  if (FAILED(client->GetDevicePeriod(&period, nullptr)) || period <= 0) period = 100000;  // 10 ms
  if (FAILED(hr = client->GetBufferSize(&out.bufferFrames))) return hr;
  out.periodFrames = static_cast<UINT32>(std::min<int64_t>(period * kEngineRate / 10000000, out.bufferFrames / 2));
  ComPtr<IAudioRenderClient> render;
  if (FAILED(hr = client->GetService(__uuidof(IAudioRenderClient), render.PutVoid()))) return hr;

  // Not started here: the render thread starts the stream when a voice plays, with the first
  // samples already in the buffer, and stops it again after a second of silence.
  out.client = std::move(client);
  out.render = std::move(render);
  return S_OK;
}

}  // namespace

// The events the controlling thread and the render thread meet at.
struct Output::Events {
  UniqueKernelHandle stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueKernelHandle wake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  // Set by the render thread after each attempt to open the device.
  UniqueKernelHandle attempt{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

// An endpoint's render thread: the device it owns, the stream it writes and the pacing between
// two writes. One wait, then one step per thing that can have happened: the device changed, the
// device is lost, the device (or a play) asks for samples, the stream failed.
class Output::Renderer {
 public:
  Renderer(Output& output, std::wstring endpointId)
      : output_(output),
        endpointId_(std::move(endpointId)),
        waits_{output.events_->stop.Get(), output.events_->wake.Get(), thread_.Event()},
        stallTicks_(kStallMs * QpcFrequency() / 1000) {}
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  HRESULT Open(bool followsDefault);
  void Run();

 private:
  static constexpr DWORD kStopped = WAIT_OBJECT_0;
  static constexpr DWORD kDevicePeriod = WAIT_OBJECT_0 + 2;

  DWORD Wait() const;
  bool FollowDevice();
  HRESULT Write(bool devicePeriod);
  HRESULT Padding(UINT32& padding, int64_t& paddingAt);
  HRESULT StartOrIdle();
  void DropStream();

  Output& output_;
  const std::wstring endpointId_;
  DeviceThread<Output> thread_;  // before the stream: COM outlives the stream's client
  OutputStream stream_;
  const HANDLE waits_[3];
  const int64_t stallTicks_;
  int silentFills_ = 0;
  UINT32 queued_ = 0;         // frames in the device after our last write
  int64_t lastProgress_ = 0;  // when the device last took samples
  bool retryAtOnce_ = true;   // a stream that failed is opened again at once, the first time
};

HRESULT Output::Renderer::Open(bool followsDefault) {
  HRESULT hr = thread_.Created();
  if (SUCCEEDED(hr)) hr = OpenStream(thread_.Enumerator(), endpointId_, thread_.Event(), stream_);
  if (FAILED(hr)) {
    stream_.Release();
    return hr;
  }
  thread_.Listen(output_, followsDefault, eRender);
  return S_OK;
}

void Output::Renderer::Run() {
  for (;;) {
    const DWORD woke = Wait();
    if (woke == kStopped) break;
    if (!FollowDevice()) continue;
    if (FAILED(Write(woke == kDevicePeriod))) DropStream();
  }
  stream_.Release();
}

DWORD Output::Renderer::Wait() const {
  // While the stream is stopped only a play (or a device change) wakes the thread, so an idle
  // board costs nothing.
  const bool listenToDevice = stream_.client && stream_.running;
  return ::WaitForMultipleObjects(listenToDevice ? 3 : 2, waits_, FALSE,
                                  stream_.client ? (listenToDevice ? 200 : INFINITE) : kRetryMs);
}

// False while there is no stream to write to.
bool Output::Renderer::FollowDevice() {
  if (output_.reopenDefault_.exchange(false)) stream_.Release();
  if (output_.checkDevice_.exchange(false)) stream_.Release();
  if (stream_.client) return true;
  // Device gone or default changed: look again. Until it is back, plays are refused.
  const uint32_t asked = output_.retriesAsked_.load();
  const HRESULT hr = OpenStream(thread_.Enumerator(), endpointId_, thread_.Event(), stream_);
  output_.lost_ = FAILED(hr);
  output_.retriesAnswered_ = asked;
  ::SetEvent(output_.events_->attempt.Get());
  if (FAILED(hr)) {
    stream_.Release();
    return false;
  }
  queued_ = 0;
  return true;
}

// Fills what the device has room for. `devicePeriod` when the device asked rather than a play.
HRESULT Output::Renderer::Write(bool devicePeriod) {
  UINT32 padding = 0;
  int64_t paddingAt = 0;
  HRESULT hr = Padding(padding, paddingAt);
  // The device's own events keep one period free at the end of the buffer; a play (the wake
  // event) may use it, so a new effect's first samples are written at once instead of at the
  // next period.
  const UINT32 limit = devicePeriod ? stream_.bufferFrames - stream_.periodFrames : stream_.bufferFrames;
  const UINT32 available = SUCCEEDED(hr) ? limit - std::min(padding, limit) : 0;
  if (FAILED(hr) || available == 0) return hr;
  if (!stream_.running && !output_.mixer_.HasAudibleVoice(output_.index_)) return hr;
  BYTE* data = nullptr;
  if (FAILED(hr = stream_.render->GetBuffer(available, &data))) return hr;
  const bool sound = output_.mixer_.Mix(output_.index_, reinterpret_cast<float*>(data), available, padding, paddingAt);
  hr = stream_.render->ReleaseBuffer(available, sound ? 0 : AUDCLNT_BUFFERFLAGS_SILENT);
  silentFills_ = sound ? 0 : silentFills_ + 1;
  queued_ = padding + available;
  retryAtOnce_ = true;
  return SUCCEEDED(hr) ? StartOrIdle() : hr;
}

// How far the device is from the end of what we wrote, and when that was asked; fails for a
// running stream whose device stopped taking samples.
HRESULT Output::Renderer::Padding(UINT32& padding, int64_t& paddingAt) {
  HRESULT hr = stream_.running ? stream_.client->GetCurrentPadding(&padding) : S_OK;
  paddingAt = Qpc();
  if (SUCCEEDED(hr) && stream_.running) {
    const int64_t now = Qpc();
    if (padding < queued_ || padding == 0) {
      lastProgress_ = now;
    } else if (now - lastProgress_ > stallTicks_) {
      hr = AUDCLNT_E_DEVICE_INVALIDATED;  // the device stopped taking samples
    }
  }
  return hr;
}

// After a write: starts the stream with its first samples in, or stops it after a second of
// silence.
HRESULT Output::Renderer::StartOrIdle() {
  constexpr int kIdleFillsBeforeStop = 100;  // about a second of silent periods
  if (!stream_.running) {
    const HRESULT hr = stream_.client->Start();
    stream_.running = SUCCEEDED(hr);
    lastProgress_ = Qpc();
    return hr;
  }
  if (silentFills_ > kIdleFillsBeforeStop) {
    stream_.client->Stop();
    stream_.client->Reset();
    stream_.running = false;
    output_.mixer_.OutputStopped(output_.index_);
    silentFills_ = 0;
  }
  return S_OK;
}

void Output::Renderer::DropStream() {
  // AUDCLNT_E_DEVICE_INVALIDATED and friends: drop the stream and look for the device again, at
  // once the first time; it is lost only if that fails. After that the retry timer paces it, so
  // a device that opens but never plays cannot spin this thread.
  stream_.Release();
  output_.mixer_.OutputStopped(output_.index_);
  if (std::exchange(retryAtOnce_, false)) output_.Wake();
}

Output::Output(Mixer& mixer, int index) : mixer_(mixer), index_(index), events_(std::make_unique<Events>()) {}

Output::~Output() { Close(); }

bool Output::Open(int device, const std::wstring& endpointId) {
  if (IsOpen() || device < 0) return false;
  if (device >= kFirstEndpointDevice && endpointId.empty()) return false;
  try {
    endpointId_ = endpointId;
    ::ResetEvent(events_->stop.Get());
    lost_ = false;
    reopenDefault_ = false;
    checkDevice_ = false;
    device_ = device;
    std::promise<bool> started;
    std::future<bool> result = started.get_future();
    // The promise moves into the thread, so nothing of it is left on this stack once Open returns.
    thread_ = std::thread([this, device, endpointId, promise = std::move(started)]() mutable {
      RenderThread(device, endpointId, promise);
    });
    const bool ok = result.get();
    if (!ok) Close();
    return ok;
  } catch (const std::exception&) {  // no memory, or no thread to be had
    Close();
    return false;
  }
}

bool Output::OpenOffline() {
  if (IsOpen()) return false;
  offline_ = true;
  lost_ = false;
  device_ = kNoSoundDevice;
  return true;
}

void Output::Close() {
  if (thread_.joinable()) {
    ::SetEvent(events_->stop.Get());
    thread_.join();
  }
  offline_ = false;
  mixer_.OutputStopped(index_);
  device_ = -1;
  endpointId_.clear();
  lost_ = false;
}

bool Output::Render(float* out, uint32_t frames) {
  return offline_ && mixer_.Mix(index_, out, frames, 0, Mixer::kUnclocked);
}

void Output::Wake() { ::SetEvent(events_->wake.Get()); }

void Output::RenderThread(int device, std::wstring endpointId, std::promise<bool>& started) {
  if (device == kNoSoundDevice) {
    started.set_value(true);
    RunNullOutput();
    return;
  }
  Renderer renderer(*this, std::move(endpointId));
  if (FAILED(renderer.Open(device == kDefaultDevice))) {
    started.set_value(false);
    return;
  }
  started.set_value(true);
  renderer.Run();
}

void Output::RunNullOutput() {
  // Consumes the voices in real time, in steps of a few milliseconds, without a device.
  const int64_t frequency = QpcFrequency();
  int64_t last = Qpc();
  int64_t owedTicks = 0;
  std::vector<float> scratch(4096 * kEngineChannels);
  const HANDLE waits[] = {events_->stop.Get(), events_->wake.Get()};
  for (;;) {
    if (::WaitForMultipleObjects(2, waits, FALSE, 5) == WAIT_OBJECT_0) break;
    const int64_t now = Qpc();
    owedTicks += now - last;
    last = now;
    int64_t frames = owedTicks * kEngineRate / frequency;
    owedTicks -= frames * frequency / kEngineRate;
    while (frames > 0) {
      const uint32_t step = static_cast<uint32_t>(std::min<int64_t>(frames, 4096));
      mixer_.Mix(index_, scratch.data(), step, 0);
      frames -= step;
    }
  }
}

bool Output::EnsureDevice() {
  if (!IsOpen()) return false;
  if (offline_ || !lost_) return true;
  const uint32_t ticket = ++retriesAsked_;
  Wake();
  const ULONGLONG deadline = ::GetTickCount64() + kLostPlayWaitMs;
  for (;;) {
    if (!lost_ || static_cast<int32_t>(retriesAnswered_.load() - ticket) >= 0) break;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) break;
    ::WaitForSingleObject(events_->attempt.Get(), static_cast<DWORD>(deadline - now));
  }
  return !lost_;
}

void Output::OnDefaultDeviceChanged() {
  if (device_ != kDefaultDevice) return;
  reopenDefault_ = true;
  Wake();
}

void Output::OnDeviceRemoved() {
  // Whichever endpoint it was, the render thread checks its own by reopening it.
  checkDevice_ = true;
  Wake();
}

void Output::OnDeviceArrived() {
  // Woken, a lost output looks for its device at once. Not only when lost_ is already set: the
  // device may come back before the render thread has noticed it was gone.
  Wake();
}

}  // namespace velmora::audio
