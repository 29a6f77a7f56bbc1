#include "playback/engine/LiveInput.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velmora::audio {

namespace {
// The fill is smoothed over about a second: a late packet moves it, the clocks' drift
// does not.
constexpr double kFillSeconds = 1.0;
// The correction: proportional to the fill's error (0.1 % for 3.3 ms), plus its integral, which
// holds a steady drift with no error left; never more than 0.5 %.
constexpr double kProportional = 0.3;
constexpr double kIntegral = 0.03;
constexpr double kMaxCorrection = 0.005;
// A reader that ran dry waits for this much more from then on (up to kMaxTargetSeconds): the
// device hands its packets over less evenly than the target allowed for.
constexpr double kTargetStepSeconds = 0.005;
constexpr double kMaxTargetSeconds = 0.06;
// And gives back a millisecond of it after each this long without running dry, down to where it
// began: one bad moment does not leave the voice later for the rest of the show.
constexpr double kCalmSeconds = 20.0;
constexpr double kTargetBackSeconds = 0.001;
// A reader this far past its target skips ahead to it.
constexpr double kMaxExcessSeconds = 0.06;
// The longest a device is taken to record before it hands a packet over.
constexpr double kMaxPacketSeconds = 0.03;
constexpr float kFadeStep = 1.0f / (kEngineRate * 5 / 1000);  // fades in over 5 ms

float Hermite(float y0, float y1, float y2, float y3, float t) {
  const float c1 = 0.5f * (y2 - y0);
  const float c2 = y0 - 2.5f * y1 + 2.0f * y2 - 0.5f * y3;
  const float c3 = 0.5f * (y3 - y0) + 1.5f * (y1 - y2);
  return ((c3 * t + c2) * t + c1) * t + y1;
}
}  // namespace

LiveInput::LiveInput(int64_t ticksPerSecond, uint32_t targetFrames)
    : ticksPerSecond_(ticksPerSecond),
      target_(std::clamp<uint32_t>(targetFrames, 64, kCapacity / 4)),
      ring_(static_cast<size_t>(kCapacity) * kEngineChannels, 0.0f) {
  for (Reader& r : readers_) r.target = target_;
}

void LiveInput::Write(const float* samples, uint32_t frames, int64_t capturedAt) {
  uint64_t at = written_.load(std::memory_order_relaxed);
  if (capturedAt != 0 && ticksPerSecond_ > 0) {
    // When the last of these frames was recorded.
    stampSeq_.fetch_add(1, std::memory_order_acq_rel);
    stampFrame_.store(at + frames, std::memory_order_relaxed);
    stampTicks_.store(capturedAt + static_cast<int64_t>(frames) * ticksPerSecond_ / kEngineRate, std::memory_order_relaxed);
    stampSeq_.fetch_add(1, std::memory_order_acq_rel);
  }
  while (frames > 0) {
    const uint32_t slot = static_cast<uint32_t>(at % kCapacity);
    const uint32_t n = std::min(frames, kCapacity - slot);
    float* into = ring_.data() + static_cast<size_t>(slot) * kEngineChannels;
    if (samples) {
      std::memcpy(into, samples, static_cast<size_t>(n) * kEngineChannels * sizeof(float));
      samples += static_cast<size_t>(n) * kEngineChannels;
    } else {
      std::memset(into, 0, static_cast<size_t>(n) * kEngineChannels * sizeof(float));
    }
    at += n;
    frames -= n;
  }
  written_.store(at, std::memory_order_release);
}

void LiveInput::Restart() {
  restartedAt_.store(written_.load(std::memory_order_relaxed), std::memory_order_relaxed);
  generation_.fetch_add(1, std::memory_order_release);
}

// Whether reader `r` reads now: one that ran dry, or has not started since the device (re)started,
// waits until its target is filled; then starts from there.
bool LiveInput::Ready(Reader& r, uint64_t written, int64_t now) {
  const uint32_t generation = generation_.load(std::memory_order_acquire);
  if (r.generation != generation) {
    r.generation = generation;
    r.playing = false;
    r.dry = false;
    r.target = target_;
    r.calm = 0;
  }
  const double target = r.target;
  if (r.dry) {
    // Ran dry: goes on from where it stopped once the target is filled again.
    if (static_cast<double>(written) - r.position < target) return false;
    r.dry = false;
    r.playing = true;
    r.fade = 0;
  } else if (!r.playing) {
    // Starts once a target's worth has come since the device (re)started, the target behind.
    const double recorded = static_cast<double>(written) + RecordedSinceLastPacket(written, now);
    if (recorded - static_cast<double>(restartedAt_.load(std::memory_order_relaxed)) < target + 3) return false;
    r.position = recorded - target;
    r.fill = target;
    r.integral = 0;
    r.fade = 0;
    r.playing = true;
  }
  return true;
}

// The ratio: from the smoothed fill's error, in seconds, with its integral.
void LiveInput::Steer(Reader& r, double recorded, uint32_t frames) {
  const double seconds = static_cast<double>(frames) / kEngineRate;
  r.fill += (recorded - r.position - r.fill) * std::min(1.0, seconds / kFillSeconds);
  const double error = (r.fill - r.target) / kEngineRate;
  r.integral = std::clamp(r.integral + error * seconds, -kMaxCorrection / kIntegral, kMaxCorrection / kIntegral);
  r.ratio = 1.0 + std::clamp(kProportional * error + kIntegral * r.integral, -kMaxCorrection, kMaxCorrection);
  r.statFill.store(r.fill, std::memory_order_relaxed);
  r.statTarget.store(r.target, std::memory_order_relaxed);
  r.statRatio.store(r.ratio, std::memory_order_relaxed);
}

bool LiveInput::Read(int reader, float* out, uint32_t frames, int64_t now) {
  std::memset(out, 0, static_cast<size_t>(frames) * kEngineChannels * sizeof(float));
  if (reader < 0 || reader >= kMaxReaders || frames == 0) return false;
  Reader& r = readers_[reader];
  const uint64_t written = written_.load(std::memory_order_acquire);
  if (!Ready(r, written, now)) return false;
  const double target = r.target;
  // The device hands its frames over a packet at a time, so what has come lags what it has
  // recorded by up to a packet, more or less depending on where in the packet this read falls.
  // The fill is reckoned from what it has recorded by now, which moves smoothly, so that phase
  // (which two clocks apart sweep through slowly) does not look like a change of fill.
  const double recorded = static_cast<double>(written) + RecordedSinceLastPacket(written, now);
  if (static_cast<double>(written) - r.position > target + kMaxExcessSeconds * kEngineRate) {
    r.position = recorded - target;
    r.skips.fetch_add(1, std::memory_order_relaxed);
    r.fade = 0;
  }
  const double fill = static_cast<double>(written) - r.position;
  Steer(r, recorded, frames);

  // Interpolation reads one frame before and two after each position.
  if (fill < frames * r.ratio + 3) {
    r.playing = false;
    r.dry = true;
    r.target = std::min(r.target + kTargetStepSeconds * kEngineRate, std::max<double>(target_, kMaxTargetSeconds * kEngineRate));
    r.calm = 0;
    r.underruns.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  r.calm += frames;
  if (r.calm >= kCalmSeconds * kEngineRate && r.target > target_) {
    r.target = std::max<double>(target_, r.target - kTargetBackSeconds * kEngineRate);
    r.calm = 0;
  }
  const uint64_t oldest = std::max<uint64_t>(restartedAt_.load(std::memory_order_relaxed), written > kCapacity ? written - kCapacity + 1 : 0);
  double position = r.position;
  for (uint32_t i = 0; i < frames; ++i, position += r.ratio) {
    const uint64_t k = static_cast<uint64_t>(position);
    const float t = static_cast<float>(position - static_cast<double>(k));
    const uint64_t before = k > oldest ? k - 1 : k;
    const float gain = r.fade;
    for (int c = 0; c < kEngineChannels; ++c) {
      out[static_cast<size_t>(i) * kEngineChannels + c] =
          gain * Hermite(Sample(before, c), Sample(k, c), Sample(k + 1, c), Sample(k + 2, c), t);
    }
    if (r.fade < 1.0f) r.fade = std::min(1.0f, r.fade + kFadeStep);
  }

  r.statLatencyMs.store((recorded - r.position) * 1000.0 / kEngineRate, std::memory_order_relaxed);
  r.position += frames * r.ratio;
  r.reads.fetch_add(1, std::memory_order_relaxed);
  return true;
}

double LiveInput::RecordedSinceLastPacket(uint64_t written, int64_t now) const {
  if (ticksPerSecond_ <= 0 || now == 0) return 0;
  const uint32_t seq = stampSeq_.load(std::memory_order_acquire);
  const uint64_t frame = stampFrame_.load(std::memory_order_relaxed);
  const int64_t ticks = stampTicks_.load(std::memory_order_relaxed);
  if (seq % 2 != 0 || seq != stampSeq_.load(std::memory_order_acquire) || ticks == 0 || frame != written) return 0;
  const double since = static_cast<double>(now - ticks) * kEngineRate / static_cast<double>(ticksPerSecond_);
  return std::clamp(since, 0.0, kMaxPacketSeconds * kEngineRate);
}

LiveInput::ReaderStats LiveInput::Stats(int reader) const {
  ReaderStats stats;
  if (reader < 0 || reader >= kMaxReaders) return stats;
  const Reader& r = readers_[reader];
  stats.underruns = r.underruns.load(std::memory_order_relaxed);
  stats.skips = r.skips.load(std::memory_order_relaxed);
  stats.fillFrames = r.statFill.load(std::memory_order_relaxed);
  stats.targetFrames = r.statTarget.load(std::memory_order_relaxed);
  stats.ratio = r.statRatio.load(std::memory_order_relaxed);
  stats.latencyMs = r.statLatencyMs.load(std::memory_order_relaxed);
  stats.reads = r.reads.load(std::memory_order_relaxed);
  return stats;
}

void LiveInput::Rewind(int reader, uint32_t frames) {
  if (reader < 0 || reader >= kMaxReaders) return;
  Reader& r = readers_[reader];
  if (!r.playing || r.generation != generation_.load(std::memory_order_acquire)) return;
  const uint64_t written = written_.load(std::memory_order_acquire);
  const uint64_t oldest = std::max<uint64_t>(restartedAt_.load(std::memory_order_relaxed), written > kCapacity ? written - kCapacity + 1 : 0);
  r.position = std::max(static_cast<double>(oldest + 1), r.position - frames * r.ratio);
}

}  // namespace velmora::audio
