#include "playback/engine/Engine.h"

#include "base/ComPtr.h"
#include "playback/engine/Devices.h"

#include <windows.h>
#include <audioclient.h>
#include <avrt.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <utility>

namespace velmora::audio {

namespace {

constexpr size_t kMaxVoices = 64;
constexpr DWORD kRetryMs = 500;  // how often a lost device is looked for again

int64_t Qpc() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return t.QuadPart;
}

int64_t QpcFrequency() {
  LARGE_INTEGER f;
  ::QueryPerformanceFrequency(&f);
  return f.QuadPart;
}

// Forwards endpoint notifications to the engine. Windows calls it on a thread of its own, which
// must not block: the engine only sets atomics there and wakes the render thread, which does the
// work. It is registered by the render thread once its stream is open and unregistered before
// that thread releases the enumerator, so no call arrives for an engine that is closing.
class NotificationClient final : public IMMNotificationClient {
 public:
  NotificationClient(AudioEngine& engine, bool followsDefault) : engine_(engine), followsDefault_(followsDefault) {}

  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IMMNotificationClient)) {
      *out = static_cast<IMMNotificationClient*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
    if (flow == eRender && role == eConsole && followsDefault_) engine_.OnDefaultDeviceChanged();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR id, DWORD state) override {
    if (state == DEVICE_STATE_ACTIVE) {
      engine_.OnDeviceArrived();
    } else if (id) {
      engine_.OnDeviceRemoved(id);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR id) override {
    if (id) engine_.OnDeviceRemoved(id);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override {
    engine_.OnDeviceArrived();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

 private:
  virtual ~NotificationClient() = default;
  AudioEngine& engine_;
  bool followsDefault_;
  std::atomic<ULONG> refs_{1};
};

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
  ComPtr<IMMDevice> device;
  HRESULT hr = endpointId.empty() ? enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put())
                                  : enumerator->GetDevice(endpointId.c_str(), device.Put());
  if (FAILED(hr)) return hr;
  DWORD state = 0;
  if (SUCCEEDED(device->GetState(&state)) && state != DEVICE_STATE_ACTIVE) return AUDCLNT_E_DEVICE_INVALIDATED;
  ComPtr<IAudioClient> client;
  hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.PutVoid());
  if (FAILED(hr)) return hr;

  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
  format.nChannels = kEngineChannels;
  format.nSamplesPerSec = kEngineRate;
  format.wBitsPerSample = 32;
  format.nBlockAlign = static_cast<WORD>(format.nChannels * sizeof(float));
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  constexpr DWORD kFlags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                           AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY | AUDCLNT_STREAMFLAGS_NOPERSIST;
  // Two device periods of buffer: one being played, one free for a new effect to land in. The
  // less is queued, the sooner a replaced effect falls silent.
  REFERENCE_TIME period = 0;
  if (FAILED(client->GetDevicePeriod(&period, nullptr)) || period <= 0) period = 100000;  // 10 ms
  hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, kFlags, 2 * period, 0, &format, nullptr);
  if (FAILED(hr)) return hr;
  if (FAILED(hr = client->SetEventHandle(audioEvent))) return hr;
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

AudioEngine::AudioEngine() {
  stopEvent_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wakeEvent_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

AudioEngine::~AudioEngine() {
  Close();
  ::CloseHandle(stopEvent_);
  ::CloseHandle(wakeEvent_);
}

bool AudioEngine::Open(int device) {
  if (IsOpen() || device < 0) return false;
  std::wstring endpointId;
  if (device >= kFirstEndpointDevice) {
    endpointId = EndpointIdForDevice(device);
    if (endpointId.empty()) return false;
  }
  ::ResetEvent(stopEvent_);
  lost_ = false;
  reopenDefault_ = false;
  device_ = device;
  std::promise<bool> started;
  std::future<bool> result = started.get_future();
  thread_ = std::thread([this, device, endpointId, promise = std::move(started)]() mutable {
    startup_ = &promise;
    RenderThread(device, endpointId);
  });
  const bool ok = result.get();
  if (!ok) Close();
  return ok;
}

void AudioEngine::Close() {
  if (thread_.joinable()) {
    ::SetEvent(stopEvent_);
    thread_.join();
  }
  device_ = -1;
  lost_ = false;
  std::vector<Voice> released;
  {
    std::lock_guard<std::mutex> lock(voicesLock_);
    released.swap(voices_);
  }
}

void AudioEngine::Wake() { ::SetEvent(wakeEvent_); }

void AudioEngine::ReportStarted(bool ok) {
  if (startup_) {
    startup_->set_value(ok);
    startup_ = nullptr;
  }
}

void AudioEngine::RenderThread(int device, std::wstring endpointId) {
  if (device == kNoSoundDevice) {
    ReportStarted(true);
    RunNullOutput();
    return;
  }
  ComInit com;
  DWORD taskIndex = 0;
  HANDLE mmcss = ::AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);

  ComPtr<IMMDeviceEnumerator> enumerator;
  OutputStream stream;
  HANDLE audioEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HRESULT hr = ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                  enumerator.PutVoid());
  if (SUCCEEDED(hr)) hr = OpenStream(enumerator.Get(), endpointId, audioEvent, stream);
  if (FAILED(hr)) {
    stream.Release();
    enumerator.Reset();
    ::CloseHandle(audioEvent);
    if (mmcss) ::AvRevertMmThreadCharacteristics(mmcss);
    ReportStarted(false);
    return;
  }
  NotificationClient* notifications = new NotificationClient(*this, device == kDefaultDevice);
  enumerator->RegisterEndpointNotificationCallback(notifications);
  ReportStarted(true);

  constexpr int kIdleFillsBeforeStop = 100;  // about a second of silent periods
  int silentFills = 0;
  const HANDLE waits[] = {static_cast<HANDLE>(stopEvent_), static_cast<HANDLE>(wakeEvent_), audioEvent};
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
      if (FAILED(OpenStream(enumerator.Get(), endpointId, audioEvent, stream))) {
        stream.Release();
        lost_ = true;
        continue;
      }
      lost_ = false;
    }

    UINT32 padding = 0;
    hr = stream.running ? stream.client->GetCurrentPadding(&padding) : S_OK;
    // The device's own events keep one period free at the end of the buffer; a play (the wake
    // event) may use it, so a new effect's first samples are written at once instead of at the
    // next period.
    const UINT32 limit = woke == WAIT_OBJECT_0 + 2 ? stream.bufferFrames - stream.periodFrames : stream.bufferFrames;
    const UINT32 available = SUCCEEDED(hr) ? limit - std::min(padding, limit) : 0;
    BYTE* data = nullptr;
    if (SUCCEEDED(hr) && available > 0) {
      if (!stream.running && !HasAudibleVoice()) continue;
      hr = stream.render->GetBuffer(available, &data);
    }
    if (SUCCEEDED(hr) && available > 0) {
      const bool sound = Mix(reinterpret_cast<float*>(data), available, padding);
      hr = stream.render->ReleaseBuffer(available, sound ? 0 : AUDCLNT_BUFFERFLAGS_SILENT);
      silentFills = sound ? 0 : silentFills + 1;
      if (SUCCEEDED(hr) && !stream.running) {
        hr = stream.client->Start();
        stream.running = SUCCEEDED(hr);
      } else if (SUCCEEDED(hr) && silentFills > kIdleFillsBeforeStop) {
        stream.client->Stop();
        stream.client->Reset();
        stream.running = false;
        silentFills = 0;
      }
    }
    if (FAILED(hr)) {
      // AUDCLNT_E_DEVICE_INVALIDATED and friends: drop the stream, look for it again.
      stream.Release();
      lost_ = true;
    }
  }

  enumerator->UnregisterEndpointNotificationCallback(notifications);
  notifications->Release();
  stream.Release();
  enumerator.Reset();
  ::CloseHandle(audioEvent);
  if (mmcss) ::AvRevertMmThreadCharacteristics(mmcss);
}

void AudioEngine::RunNullOutput() {
  // Consumes the voices in real time, in steps of a few milliseconds, without a device.
  const int64_t frequency = QpcFrequency();
  int64_t last = Qpc();
  int64_t owedTicks = 0;
  std::vector<float> scratch(4096 * kEngineChannels);
  const HANDLE waits[] = {static_cast<HANDLE>(stopEvent_), static_cast<HANDLE>(wakeEvent_)};
  for (;;) {
    if (::WaitForMultipleObjects(2, waits, FALSE, 5) == WAIT_OBJECT_0) break;
    const int64_t now = Qpc();
    owedTicks += now - last;
    last = now;
    int64_t frames = owedTicks * kEngineRate / frequency;
    owedTicks -= frames * frequency / kEngineRate;
    while (frames > 0) {
      const uint32_t step = static_cast<uint32_t>(std::min<int64_t>(frames, 4096));
      Mix(scratch.data(), step, 0);
      frames -= step;
    }
  }
}

bool AudioEngine::Mix(float* out, uint32_t frames, uint32_t queuedFrames) {
  std::memset(out, 0, static_cast<size_t>(frames) * kEngineChannels * sizeof(float));
  bool sound = false;
  std::lock_guard<std::mutex> lock(voicesLock_);
  for (Voice& voice : voices_) {
    if (!voice.playing) continue;
    uint64_t n = 0;
    const float* source = nullptr;
    if (voice.sound) {
      const uint64_t length = voice.sound->Frames();
      if (voice.position >= length) continue;
      n = std::min<uint64_t>(frames, length - voice.position);
      source = voice.sound->samples.data() + voice.position * kEngineChannels;
    } else if (voice.feed) {
      if (scratch_.size() < static_cast<size_t>(frames) * kEngineChannels) scratch_.resize(frames * kEngineChannels);
      n = voice.feed->Pull(scratch_.data(), frames);
      source = scratch_.data();
    }
    if (n == 0) continue;
    const float volume = voice.volume;
    for (uint64_t i = 0; i < n * kEngineChannels; ++i) out[i] += source[i] * volume;
    voice.position += n;
    sound = true;
    if (voice.timed) {
      voice.timed = false;
      playQueuedFrames_ = queuedFrames;
      playFirstWrite_ = Qpc();
    }
  }
  if (sound) {
    for (uint64_t i = 0; i < static_cast<uint64_t>(frames) * kEngineChannels; ++i)
      out[i] = std::clamp(out[i], -1.0f, 1.0f);
  }
  return sound;
}

bool AudioEngine::HasAudibleVoice() const {
  std::lock_guard<std::mutex> lock(voicesLock_);
  for (const Voice& voice : voices_) {
    if (!voice.playing) continue;
    if (voice.sound && voice.position < voice.sound->Frames()) return true;
    if (voice.feed && !voice.feed->Drained()) return true;
  }
  return false;
}

AudioEngine::Voice* AudioEngine::FindVoice(uint32_t id) {
  for (Voice& voice : voices_) {
    if (voice.id == id) return &voice;
  }
  return nullptr;
}

const AudioEngine::Voice* AudioEngine::FindVoice(uint32_t id) const {
  for (const Voice& voice : voices_) {
    if (voice.id == id) return &voice;
  }
  return nullptr;
}

uint32_t AudioEngine::CreateVoice(std::shared_ptr<const Sound> sound) {
  if (!IsOpen() || lost_ || !sound) return 0;
  std::lock_guard<std::mutex> lock(voicesLock_);
  if (voices_.size() >= kMaxVoices) return 0;
  Voice voice;
  voice.id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  voice.sound = std::move(sound);
  voices_.push_back(std::move(voice));
  return voices_.back().id;
}

uint32_t AudioEngine::CreateStreamVoice(FeedOpener open, uint64_t lengthFrames) {
  if (!IsOpen() || lost_ || !open) return 0;
  std::shared_ptr<StreamFeed> feed = open();
  if (!feed) return 0;
  std::lock_guard<std::mutex> lock(voicesLock_);
  if (voices_.size() >= kMaxVoices) return 0;
  Voice voice;
  voice.id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  voice.feed = std::move(feed);
  voice.reopen = std::move(open);
  voice.streamLength = lengthFrames;
  voices_.push_back(std::move(voice));
  return voices_.back().id;
}

bool AudioEngine::FreeVoice(uint32_t id) {
  Voice released;  // the sound or the decoding thread goes outside the lock
  {
    std::lock_guard<std::mutex> lock(voicesLock_);
    const auto found = std::find_if(voices_.begin(), voices_.end(), [id](const Voice& v) { return v.id == id; });
    if (id == 0 || found == voices_.end()) return false;
    released = std::move(*found);
    voices_.erase(found);
  }
  return true;
}

bool AudioEngine::PlayVoice(uint32_t id, bool restart) {
  std::shared_ptr<StreamFeed> fresh;  // a streamed voice starts again from a new feed
  std::shared_ptr<StreamFeed> old;
  if (restart) {
    FeedOpener reopen;
    {
      std::lock_guard<std::mutex> lock(voicesLock_);
      Voice* voice = FindVoice(id);
      if (!voice) return false;
      if (voice->feed && voice->position > 0) reopen = voice->reopen;
    }
    if (reopen && !(fresh = reopen())) return false;
  }
  {
    std::lock_guard<std::mutex> lock(voicesLock_);
    Voice* voice = FindVoice(id);
    if (!voice) return false;
    if (fresh) old = std::exchange(voice->feed, std::move(fresh));
    if (restart) voice->position = 0;
    voice->playing = true;
    voice->timed = true;
    playRequested_ = Qpc();
    playFirstWrite_ = 0;
  }
  Wake();
  return true;
}

bool AudioEngine::PauseVoice(uint32_t id) { return StopVoice(id); }

bool AudioEngine::StopVoice(uint32_t id) {
  std::lock_guard<std::mutex> lock(voicesLock_);
  Voice* voice = FindVoice(id);
  if (!voice) return false;
  voice->playing = false;
  voice->timed = false;
  return true;
}

bool AudioEngine::SetVoiceVolume(uint32_t id, float volume) {
  std::lock_guard<std::mutex> lock(voicesLock_);
  Voice* voice = FindVoice(id);
  if (!voice) return false;
  voice->volume = std::clamp(volume, 0.0f, 1.0f);
  return true;
}

bool AudioEngine::VoiceFrames(uint32_t id, uint64_t* position, uint64_t* length) const {
  std::lock_guard<std::mutex> lock(voicesLock_);
  const Voice* voice = FindVoice(id);
  if (!voice) return false;
  if (position) *position = voice->position;
  if (length) *length = voice->sound ? voice->sound->Frames() : voice->streamLength;
  return true;
}

bool AudioEngine::SetVoicePosition(uint32_t id, uint64_t frame) {
  std::lock_guard<std::mutex> lock(voicesLock_);
  Voice* voice = FindVoice(id);
  if (!voice || !voice->sound || frame > voice->sound->Frames()) return false;  // streams do not seek
  voice->position = frame;
  return true;
}

void AudioEngine::OnDefaultDeviceChanged() {
  if (device_ != kDefaultDevice) return;
  reopenDefault_ = true;
  Wake();
}

void AudioEngine::OnDeviceRemoved(const std::wstring&) {
  // Whichever endpoint it was, the render thread checks its own by reopening it.
  checkDevice_ = true;
  Wake();
}

void AudioEngine::OnDeviceArrived() {
  if (lost_.load()) Wake();
}

AudioEngine::PlayTiming AudioEngine::LastPlayTiming() const {
  return {playRequested_.load(), playFirstWrite_.load(), playQueuedFrames_.load()};
}

}  // namespace velmora::audio
