#include "playback/engine/Engine.h"

#include "playback/engine/Devices.h"

#include <windows.h>

#include <exception>
#include <utility>

namespace velmora::audio {

namespace {

int64_t Qpc() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return t.QuadPart;
}

}  // namespace

AudioEngine::AudioEngine() : mixer_(&Qpc), outputs_{{mixer_, kMainOutput}, {mixer_, kMonitorOutput}} {}

AudioEngine::~AudioEngine() { Close(); }

bool AudioEngine::Open(int device) {
  if (IsOpen() || device < 0) return false;
  try {
    return Open(device, device >= kFirstEndpointDevice ? EndpointIdForDevice(device) : std::wstring());
  } catch (const std::exception&) {  // no memory for the enumeration
    return false;
  }
}

bool AudioEngine::Open(int device, const std::wstring& endpointId) {
  return outputs_[kMainOutput].Open(device, endpointId);
}

bool AudioEngine::OpenOffline() { return outputs_[kMainOutput].OpenOffline(); }

void AudioEngine::Close() {
  CloseMonitor();
  outputs_[kMainOutput].Close();
  mixer_.FreeAll();
}

bool AudioEngine::EnsureDevice() { return outputs_[kMainOutput].EnsureDevice(); }

bool AudioEngine::OpenMonitor(int device, const std::wstring& endpointId) {
  if (!IsOpen()) return false;
  CloseMonitor();
  if (!outputs_[kMonitorOutput].Open(device, endpointId)) return false;
  mixer_.SetOutputPresent(kMonitorOutput, true);
  outputs_[kMonitorOutput].Wake();  // what is playing now is heard there at once
  return true;
}

bool AudioEngine::OpenOfflineMonitor() {
  if (!IsOpen()) return false;
  CloseMonitor();
  if (!outputs_[kMonitorOutput].OpenOffline()) return false;
  mixer_.SetOutputPresent(kMonitorOutput, true);
  return true;
}

void AudioEngine::CloseMonitor() {
  mixer_.SetOutputPresent(kMonitorOutput, false);
  outputs_[kMonitorOutput].Close();
}

bool AudioEngine::Render(int output, float* out, uint32_t frames) {
  return output >= 0 && output < kMaxOutputs && outputs_[output].Render(out, frames);
}

uint32_t AudioEngine::CreateVoice(std::shared_ptr<const Sound> sound) {
  if (!IsOpen() || DeviceLost()) return 0;
  return mixer_.AddVoice(std::move(sound));
}

uint32_t AudioEngine::CreateStreamVoice(FeedOpener open, uint64_t lengthFrames) {
  if (!IsOpen() || DeviceLost()) return 0;
  return mixer_.AddStreamVoice(std::move(open), lengthFrames);
}

bool AudioEngine::PlayVoice(uint32_t id, bool restart) {
  if (!mixer_.PlayVoice(id, restart)) return false;
  WakeOutputs();
  return true;
}

void AudioEngine::WakeOutputs() {
  for (Output& output : outputs_) output.Wake();
}

void AudioEngine::OnDefaultDeviceChanged() {
  for (Output& output : outputs_) output.OnDefaultDeviceChanged();
}

void AudioEngine::OnDeviceRemoved(const std::wstring&) {
  // Whichever endpoint it was, each output checks its own by reopening it.
  for (Output& output : outputs_) output.OnDeviceRemoved();
}

void AudioEngine::OnDeviceArrived() {
  for (Output& output : outputs_) output.OnDeviceArrived();
}

}  // namespace velmora::audio
