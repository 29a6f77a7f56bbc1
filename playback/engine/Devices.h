// Output devices as the engine numbers them:
//   0  the no-sound device (a real-time null output),
//   1  the system's default output, following changes of the default,
//   2… every active render endpoint, sorted by endpoint ID so a stored number means the same
//      device at the next start.
#pragma once

#include <string>
#include <vector>

namespace velmora::audio {

inline constexpr int kNoSoundDevice = 0;
inline constexpr int kDefaultDevice = 1;
inline constexpr int kFirstEndpointDevice = 2;

inline constexpr wchar_t kNoSoundDeviceName[] = L"无声音输出";
inline constexpr wchar_t kDefaultDeviceName[] = L"系统默认输出";

struct Endpoint {
  std::wstring id;
  std::wstring name;
};

// Active render endpoints, sorted by ID. Initialises COM on the calling thread when needed.
std::vector<Endpoint> ListEndpoints();

// The name for device number n, or an empty text when there is no such device.
std::wstring DeviceDisplayName(int device);

// The endpoint ID behind device number n >= 2, or empty.
std::wstring EndpointIdForDevice(int device);

}  // namespace velmora::audio
