// Output devices as the engine numbers them:
//   0  the no-sound device (a real-time null output),
//   1  the system's default output, following changes of the default,
//   2… every active render endpoint, sorted by endpoint ID so a stored number means the same
//      device at the next start.
#pragma once

#include <string>
#include <utility>
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

// How many times ListEndpoints has enumerated (each enumeration costs milliseconds).
unsigned EndpointListings();

// The devices as one enumeration saw them: the settings window lists its names, and a switch
// goes to the endpoint that was shown even when the system's list has changed since.
class DeviceSnapshot {
 public:
  DeviceSnapshot() = default;
  static DeviceSnapshot Take() { return DeviceSnapshot(ListEndpoints()); }
  // The name of device n, or empty when there is no such device.
  std::wstring Name(int device) const;
  // The endpoint ID behind device n >= 2, or empty.
  std::wstring EndpointId(int device) const;

 private:
  explicit DeviceSnapshot(std::vector<Endpoint> endpoints) : endpoints_(std::move(endpoints)) {}
  std::vector<Endpoint> endpoints_;
};

// The name for device number n, or an empty text when there is no such device.
std::wstring DeviceDisplayName(int device);

// The endpoint ID behind device number n >= 2, or empty.
std::wstring EndpointIdForDevice(int device);

}  // namespace velmora::audio
