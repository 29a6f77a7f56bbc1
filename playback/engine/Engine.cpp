#include "playback/engine/Engine.h"

#include "playback/engine/Clock.h"
#include "playback/engine/Devices.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <utility>

namespace velmora::audio {

AudioEngine::AudioEngine()
    : mixer_(&Qpc, QpcFrequency()), main_(mixer_, kMainOutput), monitor_(mixer_, kMonitorOutput) {}

AudioEngine::~AudioEngine() { Close(); }

bool AudioEngine::Open(int device) {
  if (IsOpen() || device < 0) return false;
  try {
    return Open(device, device >= kFirstEndpointDevice ? EndpointIdForDevice(device) : std::wstring());
  } catch (const std::exception&) {  // no memory for the enumeration
    return false;
  }
}

bool AudioEngine::Open(int device, const std::wstring& endpointId) { return main_.Open(device, endpointId); }

bool AudioEngine::OpenOffline() { return main_.OpenOffline(); }

void AudioEngine::Close() {
  CloseInput();
  CloseMonitor();
  main_.Close();
  mixer_.FreeAll();
}

bool AudioEngine::EnsureDevice() { return main_.EnsureDevice(); }

bool AudioEngine::OpenMonitor(int device, const std::wstring& endpointId) {
  if (!IsOpen()) return false;
  CloseMonitor();
  if (!monitor_.Open(device, endpointId)) return false;
  mixer_.SetOutputPresent(kMonitorOutput, true);
  monitor_.Wake();  // what is playing now is heard there at once
  return true;
}

bool AudioEngine::OpenOfflineMonitor() {
  if (!IsOpen()) return false;
  CloseMonitor();
  if (!monitor_.OpenOffline()) return false;
  mixer_.SetOutputPresent(kMonitorOutput, true);
  return true;
}

void AudioEngine::CloseMonitor() {
  mixer_.SetOutputPresent(kMonitorOutput, false);
  monitor_.Close();
}

bool AudioEngine::OpenInput(int device, const std::wstring& endpointId) {
  if (!IsOpen()) return false;
  CloseInput();
  try {
    auto input = std::make_shared<LiveInput>(QpcFrequency());
    if (!capture_.Open(device, endpointId, input, [this] { WakeOutputs(); })) return false;
    input_ = input;
    mixer_.SetInput(std::move(input));
  } catch (const std::exception&) {
    capture_.Close();
    return false;
  }
  main_.SetLowLatency(true);  // the voice goes out at the device's smallest period where it can
  WakeOutputs();
  return true;
}

bool AudioEngine::OpenOfflineInput(uint32_t targetFrames) {
  if (!IsOpen()) return false;
  CloseInput();
  try {
    input_ = std::make_shared<LiveInput>(QpcFrequency(), targetFrames);
  } catch (const std::exception&) {
    return false;
  }
  mixer_.SetInput(input_);
  WakeOutputs();
  return true;
}

void AudioEngine::CloseInput() {
  mixer_.SetInput(nullptr);
  capture_.Close();
  input_.reset();
  main_.SetLowLatency(false);
}

void AudioEngine::SetReleaseAfter(uint32_t ms) {
  for (Output* output : outputs_) output->SetReleaseAfter(ms);
}

double AudioEngine::LastOutputOpenMs() const {
  return static_cast<double>(main_.LastOpenTicks()) * 1000.0 / static_cast<double>(QpcFrequency());
}

void AudioEngine::SetInputToMonitor(bool on) {
  mixer_.SetInputRouted(kMonitorOutput, on);
  monitor_.Wake();
}

bool AudioEngine::Render(int output, float* out, uint32_t frames) {
  return output >= 0 && output < kMaxOutputs && outputs_[output]->Render(out, frames);
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
  // With a monitor, both devices sound the first sample together: when the one with more queued
  // ahead of it can. Each device's period runs on its own phase, so that is up to a period later
  // than the other alone could; without a monitor, nothing waits.
  if (!mixer_.PlayVoice(id, restart, monitor_.IsOpen())) return false;
  WakeOutputs();
  return true;
}

void AudioEngine::WakeOutputs() {
  for (Output* output : outputs_) output->Wake();
}

void AudioEngine::OnDefaultDeviceChanged() {
  for (Output* output : outputs_) output->OnDefaultDeviceChanged();
  capture_.OnDefaultDeviceChanged();
}

void AudioEngine::OnDeviceRemoved(const std::wstring&) {
  // Whichever endpoint it was, each output checks its own by reopening it.
  for (Output* output : outputs_) output->OnDeviceRemoved();
  capture_.OnDeviceRemoved();
}

void AudioEngine::OnDeviceArrived() {
  for (Output* output : outputs_) output->OnDeviceArrived();
  capture_.OnDeviceArrived();
}

}  // namespace velmora::audio
