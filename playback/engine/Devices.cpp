#include "playback/engine/Devices.h"

#include "base/ComPtr.h"

#include <windows.h>
#include <initguid.h>  // PKEY_Device_FriendlyName lives in no import library
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>

namespace velmora::audio {

namespace {
std::atomic<unsigned> g_listings{0};
}

unsigned EndpointListings() { return g_listings.load(); }

std::vector<Endpoint> ListEndpoints(Flow flow) {
  ++g_listings;
  ComInit com;
  std::vector<Endpoint> endpoints;
  ComPtr<IMMDeviceEnumerator> enumerator;
  if (FAILED(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                enumerator.PutVoid())))
    return endpoints;
  ComPtr<IMMDeviceCollection> collection;
  if (FAILED(enumerator->EnumAudioEndpoints(flow == Flow::Capture ? eCapture : eRender, DEVICE_STATE_ACTIVE, collection.Put()))) return endpoints;
  UINT count = 0;
  collection->GetCount(&count);
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IMMDevice> device;
    if (FAILED(collection->Item(i, device.Put()))) continue;
    CoTaskMemory<wchar_t> id;
    if (FAILED(device->GetId(id.Put()))) continue;
    Endpoint endpoint{id.Get(), {}};
    ComPtr<IPropertyStore> properties;
    if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, properties.Put()))) {
      PropVariant value;
      if (SUCCEEDED(properties->GetValue(PKEY_Device_FriendlyName, &value)) && value->vt == VT_LPWSTR)
        endpoint.name = value->pwszVal;
    }
    if (endpoint.name.empty()) endpoint.name = endpoint.id;
    endpoints.push_back(std::move(endpoint));
  }
  std::sort(endpoints.begin(), endpoints.end(), [](const Endpoint& a, const Endpoint& b) { return a.id < b.id; });
  return endpoints;
}

std::wstring DeviceSnapshot::Name(int device) const {
  if (device == kNoSoundDevice) return flow_ == Flow::Capture ? std::wstring() : kNoSoundDeviceName;
  if (device == kDefaultDevice) return flow_ == Flow::Capture ? kDefaultCaptureDeviceName : kDefaultDeviceName;
  if (device < kFirstEndpointDevice) return {};
  const size_t index = static_cast<size_t>(device - kFirstEndpointDevice);
  return index < endpoints_.size() ? endpoints_[index].name : std::wstring();
}

std::wstring DeviceSnapshot::EndpointId(int device) const {
  if (device < kFirstEndpointDevice) return {};
  const size_t index = static_cast<size_t>(device - kFirstEndpointDevice);
  return index < endpoints_.size() ? endpoints_[index].id : std::wstring();
}

std::wstring DeviceDisplayName(int device) {
  return device < kFirstEndpointDevice ? DeviceSnapshot().Name(device) : DeviceSnapshot::Take().Name(device);
}

std::wstring EndpointIdForDevice(int device) {
  return device < kFirstEndpointDevice ? std::wstring() : DeviceSnapshot::Take().EndpointId(device);
}

}  // namespace velmora::audio
