// What a device thread of the engine (DeviceWorker.h) sets up first and tears down last, the
// stream it drives, and the endpoint notifications (device added, removed, default changed)
// handed to it. Included by the engine's device files only: it brings in the Windows audio
// headers.
#pragma once

#include "base/ComPtr.h"
#include "base/Handles.h"
#include "playback/engine/Clock.h"
#include "playback/engine/DeviceWorker.h"
#include "playback/engine/Pcm.h"

#include <windows.h>
#include <audioclient.h>
#include <avrt.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <atomic>
#include <new>
#include <string>
#include <utility>

namespace velmora::audio {

// One device's stream as its DeviceWorker drives it: opened and released on the device thread,
// and serviced there on every wake-up.
class DeviceStream {
 public:
  virtual ~DeviceStream() = default;

  // Opens `endpointId` (the default device of the stream's direction when empty), the device
  // signalling `event` when it has room or data.
  virtual HRESULT Open(IMMDeviceEnumerator* enumerator, const std::wstring& endpointId, HANDLE event) = 0;
  virtual void Release() = 0;
  virtual bool IsOpen() const = 0;
  // Released by the stream itself after a long idle, so the system's side of it costs nothing:
  // the worker then waits for a wake (a play) and opens it again.
  virtual bool Parked() const { return false; }
  // While running, the device's event is waited for, and a device that has not moved
  // (MarkProgress) for two seconds counts as failed.
  virtual bool Running() const = 0;
  // How long the worker waits for an event while the stream is open (INFINITE: only an event).
  virtual DWORD WaitMs() const = 0;
  // One wake-up: the device signalled (`devicePeriod`), a play or a change woke the thread, or
  // the wait ran out. A failure drops the stream.
  virtual HRESULT Service(bool devicePeriod) = 0;
  // After every open, and after a failed stream was released.
  virtual void Opened() {}
  virtual void Dropped() {}

  void MarkProgress() { lastProgress_ = Qpc(); }
  int64_t LastProgress() const { return lastProgress_; }

 private:
  int64_t lastProgress_ = 0;
};

// Forwards endpoint notifications to one device worker. Windows calls it on a thread of its own,
// which must not block: the worker only sets atomics there and wakes its thread, which does the
// work. It is registered by that thread once its stream is open and unregistered before the
// thread releases the enumerator, so no call arrives for one that is closing.
class NotificationClient final : public IMMNotificationClient {
 public:
  NotificationClient(DeviceWorker& output, bool followsDefault, EDataFlow flow)
      : output_(output), followsDefault_(followsDefault), flow_(flow) {}

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
    if (flow == flow_ && role == eConsole && followsDefault_) output_.OnDefaultDeviceChanged();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR id, DWORD state) override {
    if (state == DEVICE_STATE_ACTIVE) {
      output_.OnDeviceArrived();
    } else if (id) {
      output_.OnDeviceRemoved();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR id) override {
    if (id) output_.OnDeviceRemoved();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override {
    output_.OnDeviceArrived();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

 private:
  virtual ~NotificationClient() = default;
  DeviceWorker& output_;
  bool followsDefault_;
  EDataFlow flow_;
  std::atomic<ULONG> refs_{1};
};

// The engine's own format, 44.1 kHz stereo float, in which every stream is opened; the system
// converts to and from what the device runs at.
inline WAVEFORMATEX EngineFormat() {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
  format.nChannels = kEngineChannels;
  format.nSamplesPerSec = kEngineRate;
  format.wBitsPerSample = 32;
  format.nBlockAlign = static_cast<WORD>(format.nChannels * sizeof(float));
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  return format;
}

// Where the system offers it (IAudioClient3: Windows 10 and later, with a driver that has it),
// initialises `client` as a shared-mode stream at the device's smallest engine period, the least
// delay a shared stream can have. False where that is refused (Wine's driver refuses it); the
// client is then not to be used again.
inline bool InitializeLowLatency(IAudioClient* client, const WAVEFORMATEX& format, DWORD flags) {
  ComPtr<IAudioClient3> client3;
  if (FAILED(client->QueryInterface(__uuidof(IAudioClient3), client3.PutVoid()))) return false;
  UINT32 defaultPeriod = 0, unitPeriod = 0, minPeriod = 0, maxPeriod = 0;
  if (FAILED(client3->GetSharedModeEnginePeriod(&format, &defaultPeriod, &unitPeriod, &minPeriod, &maxPeriod)) ||
      minPeriod == 0) {
    return false;
  }
  return SUCCEEDED(client3->InitializeSharedAudioStream(flags, minPeriod, &format, nullptr));
}

// The shared-mode, event-driven client of `endpointId` (the default device of `flow` when empty)
// initialised in the engine's format with a buffer of `bufferDuration` (100 ns units), the
// system converting to and from the device's own; AUDCLNT_E_DEVICE_INVALIDATED for a device that
// is there but not active. With `lowLatency`, at the device's smallest engine period where the
// system allows it (`*gotLowLatency` says whether it did), the usual stream otherwise.
inline HRESULT OpenEngineClient(IMMDeviceEnumerator* enumerator, const std::wstring& endpointId, EDataFlow flow,
                                REFERENCE_TIME bufferDuration, HANDLE audioEvent, ComPtr<IAudioClient>& out,
                                bool lowLatency = false, bool* gotLowLatency = nullptr) {
  if (gotLowLatency) *gotLowLatency = false;
  ComPtr<IMMDevice> device;
  HRESULT hr = endpointId.empty() ? enumerator->GetDefaultAudioEndpoint(flow, eConsole, device.Put())
                                  : enumerator->GetDevice(endpointId.c_str(), device.Put());
  if (FAILED(hr)) return hr;
  DWORD state = 0;
  if (SUCCEEDED(device->GetState(&state)) && state != DEVICE_STATE_ACTIVE) return AUDCLNT_E_DEVICE_INVALIDATED;
  ComPtr<IAudioClient> client;
  if (FAILED(hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.PutVoid()))) return hr;
  const WAVEFORMATEX format = EngineFormat();
  constexpr DWORD kFlags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                           AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY | AUDCLNT_STREAMFLAGS_NOPERSIST;
  const bool low = lowLatency && InitializeLowLatency(client.Get(), format, kFlags);
  if (!low) {
    if (lowLatency) {  // refused: a fresh client for the usual stream
      client.Reset();
      if (FAILED(hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.PutVoid()))) return hr;
    }
    if (bufferDuration <= 0) {  // two device periods
      REFERENCE_TIME period = 0;
      if (FAILED(client->GetDevicePeriod(&period, nullptr)) || period <= 0) period = 100000;  // 10 ms
      bufferDuration = 2 * period;
    }
    if (FAILED(hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, kFlags, bufferDuration, 0, &format, nullptr))) return hr;
  }
  if (FAILED(hr = client->SetEventHandle(audioEvent))) return hr;
  if (gotLowLatency) *gotLowLatency = low;
  out = std::move(client);
  return S_OK;
}

// The thread's place in the "Pro Audio" scheduling class (AvSetMmThreadCharacteristics), given
// back when the thread is done with its device.
struct MmcssTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::AvRevertMmThreadCharacteristics(h); }
};
using UniqueMmcss = UniqueHandle<MmcssTraits>;

// Puts the calling thread in the "Pro Audio" class through `join` (AvSetMmThreadCharacteristicsW,
// or a stand-in that refuses, in tests). Where the class is refused (the service is off, or the
// system has no such task) the thread's own priority is raised to time-critical instead, so a
// busy machine still lets it fill its device in time.
using MmcssJoin = HANDLE(WINAPI*)(LPCWSTR task, LPDWORD taskIndex);
inline UniqueMmcss RaiseDeviceThreadPriority(MmcssJoin join = &::AvSetMmThreadCharacteristicsW) {
  DWORD taskIndex = 0;
  UniqueMmcss mmcss(join(L"Pro Audio", &taskIndex));
  if (!mmcss) ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  return mmcss;
}

// Names the calling thread (what a debugger or a profiler shows) where the system can
// (SetThreadDescription, Windows 10 1607 and later).
inline void NameThisThread(const wchar_t* name) {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto set = kernel ? reinterpret_cast<SetDescription>(
                                reinterpret_cast<void*>(::GetProcAddress(kernel, "SetThreadDescription")))
                          : nullptr;
  if (set) set(::GetCurrentThread(), name);
}

// COM, the "Pro Audio" scheduling class, the device enumerator and the event the device signals,
// for the life of a device thread; and, once its stream is open, the endpoint notifications for
// its worker, unregistered before the enumerator goes.
class DeviceThread {
 public:
  DeviceThread() : event_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    mmcss_ = RaiseDeviceThreadPriority();
    created_ = ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                  enumerator_.PutVoid());
  }
  // The members then go in the reverse of their order: the notifications, the enumerator, the
  // event, the scheduling class, and COM last.
  ~DeviceThread() {
    if (notifications_) enumerator_->UnregisterEndpointNotificationCallback(notifications_.Get());
  }
  DeviceThread(const DeviceThread&) = delete;
  DeviceThread& operator=(const DeviceThread&) = delete;

  // The enumerator's creation.
  HRESULT Created() const { return created_; }
  IMMDeviceEnumerator* Enumerator() const { return enumerator_.Get(); }
  HANDLE Event() const { return event_.Get(); }
  void Listen(DeviceWorker& worker, bool followsDefault, EDataFlow flow) {
    // A new client comes with the one reference this thread holds; ComPtr adopts it through Put.
    *notifications_.Put() = new (std::nothrow) NotificationClient(worker, followsDefault, flow);
    if (notifications_) enumerator_->RegisterEndpointNotificationCallback(notifications_.Get());
  }

 private:
  // In the order they are set up; the destructor relies on it.
  ComInit com_;
  UniqueMmcss mmcss_;
  UniqueKernelHandle event_;
  ComPtr<IMMDeviceEnumerator> enumerator_;
  HRESULT created_ = E_FAIL;
  ComPtr<IMMNotificationClient> notifications_;
};

}  // namespace velmora::audio
