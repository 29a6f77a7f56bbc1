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
  DeviceThread<Output> thread;
  OutputStream stream;
  const HANDLE audioEvent = thread.Event();
  HRESULT hr = thread.Created();
  if (SUCCEEDED(hr)) hr = OpenStream(thread.Enumerator(), endpointId, audioEvent, stream);
  if (FAILED(hr)) {
    stream.Release();
    started.set_value(false);
    return;
  }
  thread.Listen(*this, device == kDefaultDevice, eRender);
  started.set_value(true);

  const int64_t stallTicks = kStallMs * QpcFrequency() / 1000;
  constexpr int kIdleFillsBeforeStop = 100;  // about a second of silent periods
  int silentFills = 0;
  UINT32 queued = 0;         // frames in the device after our last write
  int64_t lastProgress = 0;  // when the device last took samples
  bool retryAtOnce = true;   // a stream that failed is opened again at once, the first time
  const HANDLE waits[] = {events_->stop.Get(), events_->wake.Get(), audioEvent};
  for (;;) {
    // While the stream is stopped only a play (or a device change) wakes the thread, so an
    // idle board costs nothing.
    const bool listenToDevice = stream.client && stream.running;
    const DWORD woke = ::WaitForMultipleObjects(listenToDevice ? 3 : 2, waits, FALSE,
                                                stream.client ? (listenToDevice ? 200 : INFINITE) : kRetryMs);
    if (woke == WAIT_OBJECT_0) break;

    if (reopenDefault_.exchange(false)) stream.Release();
    if (checkDevice_.exchange(false)) stream.Release();
    if (!stream.client) {
      // Device gone or default changed: look again. Until it is back, plays are refused.
      const uint32_t asked = retriesAsked_.load();
      hr = OpenStream(thread.Enumerator(), endpointId, audioEvent, stream);
      lost_ = FAILED(hr);
      retriesAnswered_ = asked;
      ::SetEvent(events_->attempt.Get());
      if (FAILED(hr)) {
        stream.Release();
        continue;
      }
      queued = 0;
    }

    UINT32 padding = 0;
    hr = stream.running ? stream.client->GetCurrentPadding(&padding) : S_OK;
    const int64_t paddingAt = Qpc();
    if (SUCCEEDED(hr) && stream.running) {
      const int64_t now = Qpc();
      if (padding < queued || padding == 0) {
        lastProgress = now;
      } else if (now - lastProgress > stallTicks) {
        hr = AUDCLNT_E_DEVICE_INVALIDATED;  // the device stopped taking samples
      }
    }
    // The device's own events keep one period free at the end of the buffer; a play (the wake
    // event) may use it, so a new effect's first samples are written at once instead of at the
    // next period.
    const UINT32 limit = woke == WAIT_OBJECT_0 + 2 ? stream.bufferFrames - stream.periodFrames : stream.bufferFrames;
    const UINT32 available = SUCCEEDED(hr) ? limit - std::min(padding, limit) : 0;
    BYTE* data = nullptr;
    if (SUCCEEDED(hr) && available > 0) {
      if (!stream.running && !mixer_.HasAudibleVoice(index_)) continue;
      hr = stream.render->GetBuffer(available, &data);
    }
    if (SUCCEEDED(hr) && available > 0) {
      const bool sound = mixer_.Mix(index_, reinterpret_cast<float*>(data), available, padding, paddingAt);
      hr = stream.render->ReleaseBuffer(available, sound ? 0 : AUDCLNT_BUFFERFLAGS_SILENT);
      silentFills = sound ? 0 : silentFills + 1;
      queued = padding + available;
      retryAtOnce = true;
      if (SUCCEEDED(hr) && !stream.running) {
        hr = stream.client->Start();
        stream.running = SUCCEEDED(hr);
        lastProgress = Qpc();
      } else if (SUCCEEDED(hr) && silentFills > kIdleFillsBeforeStop) {
        stream.client->Stop();
        stream.client->Reset();
        stream.running = false;
        mixer_.OutputStopped(index_);
        silentFills = 0;
      }
    }
    if (FAILED(hr)) {
      // AUDCLNT_E_DEVICE_INVALIDATED and friends: drop the stream and look for the device again,
      // at once the first time; it is lost only if that fails. After that the retry timer
      // paces it, so a device that opens but never plays cannot spin this thread.
      stream.Release();
      mixer_.OutputStopped(index_);
      if (std::exchange(retryAtOnce, false)) Wake();
    }
  }

  stream.Release();
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
