// Endpoint notifications (device added, removed, default changed) handed to whatever uses a
// device. Included by the engine's device users only: it brings in the Windows audio headers.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <atomic>

namespace velmora::audio {

// Forwards endpoint notifications to one device user (an output, or the capture of the
// microphone). Windows calls it on a thread of its own, which must not block: the user only sets
// atomics there and wakes its thread, which does the work. It is registered by that thread once
// its stream is open and unregistered before the thread releases the enumerator, so no call
// arrives for one that is closing.
template <typename User>
class NotificationClient final : public IMMNotificationClient {
 public:
  NotificationClient(User& output, bool followsDefault, EDataFlow flow)
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
  User& output_;
  bool followsDefault_;
  EDataFlow flow_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace velmora::audio
