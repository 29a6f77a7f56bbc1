// Output devices as the engine numbers them:
//   0  the no-sound device (a real-time null output),
//   1  the system's default output, following changes of the default,
//   2… every active render endpoint, sorted by endpoint ID so a stored number means the same
//      device at the next start.
// Capture devices (the microphone) alike, from 1: the default capture device, then the active
// capture endpoints sorted by ID.
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
inline constexpr wchar_t kDefaultCaptureDeviceName[] = L"系统默认麦克风";

enum class Flow { Render, Capture };

struct Endpoint {
  std::wstring id;
  std::wstring name;
};

// Active render (or capture) endpoints, sorted by ID. Initialises COM on the calling thread
// when needed.
std::vector<Endpoint> ListEndpoints(Flow flow = Flow::Render);

// How many times ListEndpoints has enumerated (each enumeration costs milliseconds).
unsigned EndpointListings();

// The devices as one enumeration saw them: the settings window lists its names, and a switch
// goes to the endpoint that was shown even when the system's list has changed since.
class DeviceSnapshot {
 public:
  DeviceSnapshot() = default;
  static DeviceSnapshot Take(Flow flow = Flow::Render) { return DeviceSnapshot(ListEndpoints(flow), flow); }
  // The name of device n, or empty when there is no such device.
  std::wstring Name(int device) const;
  // The endpoint ID behind device n >= 2, or empty.
  std::wstring EndpointId(int device) const;

 private:
  DeviceSnapshot(std::vector<Endpoint> endpoints, Flow flow) : endpoints_(std::move(endpoints)), flow_(flow) {}
  std::vector<Endpoint> endpoints_;
  Flow flow_ = Flow::Render;
};

// The name for device number n, or an empty text when there is no such device.
std::wstring DeviceDisplayName(int device);

// The endpoint ID behind device number n >= 2, or empty.
std::wstring EndpointIdForDevice(int device);

}  // namespace velmora::audio
