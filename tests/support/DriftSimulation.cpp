#include "tests/support/DriftSimulation.h"

#include "playback/engine/LiveInput.h"
#include "tests/support/Signals.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace velmora::test {

DriftResult SimulateDrift(double drift, double seconds) {
  using audio::kEngineChannels;
  using audio::kEngineRate;
  constexpr uint32_t kPeriod = 441;
  constexpr int64_t kTicks = 1000000;  // the simulated clock: microseconds
  auto input = std::make_unique<audio::LiveInput>(kTicks);
  const double packetSeconds = kPeriod / (kEngineRate * (1.0 + drift));
  std::vector<float> packet(kPeriod * kEngineChannels), out(kPeriod * kEngineChannels);
  std::vector<float> tail;  // the last output samples, left channel
  DriftResult result;
  uint64_t written = 0;
  double nextPacket = 0.0037;  // the two devices' periods on different phases
  float previous = 0;
  bool heard = false;
  for (uint64_t period = 1; static_cast<double>(period) * 0.01 <= seconds; ++period) {
    const double now = static_cast<double>(period) * 0.01;
    for (; nextPacket <= now; nextPacket += packetSeconds) {
      for (uint32_t i = 0; i < kPeriod; ++i, ++written) {
        const float v = 0.5f * static_cast<float>(std::sin(2 * 3.14159265358979 * 440.0 * static_cast<double>(written) / kEngineRate));
        packet[i * kEngineChannels] = packet[i * kEngineChannels + 1] = v;
      }
      input->Write(packet.data(), kPeriod, static_cast<int64_t>((nextPacket - packetSeconds) * kTicks));
    }
    if (!input->Read(0, out.data(), kPeriod, static_cast<int64_t>(now * kTicks))) continue;
    const audio::LiveInput::ReaderStats stats = input->Stats(0);
    result.maxFillErrorMs =
        std::max(result.maxFillErrorMs, std::fabs(stats.fillFrames - stats.targetFrames) * 1000.0 / kEngineRate);
    for (uint32_t i = 0; i < kPeriod; ++i) {
      const float v = out[i * kEngineChannels];
      if (heard) result.maxStep = std::max(result.maxStep, static_cast<double>(std::fabs(v - previous)));
      previous = v;
      tail.push_back(v);
    }
    heard = heard || period > 10;  // after the first fade-in
    if (tail.size() > 2 * kEngineRate / 10) tail.erase(tail.begin(), tail.end() - kEngineRate / 10);
  }
  const audio::LiveInput::ReaderStats stats = input->Stats(0);
  result.underruns = stats.underruns;
  result.skips = stats.skips;
  if (tail.size() > kEngineRate / 10) tail.erase(tail.begin(), tail.end() - kEngineRate / 10);
  result.endAmplitude = ToneAmplitude(tail, 440.0);
  return result;
}

}  // namespace velmora::test
