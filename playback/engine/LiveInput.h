// A live input (the microphone) on its way to the outputs. The capture thread writes what its
// device recorded into a ring; each output's render thread reads it at its own device's pace,
// a fixed target behind the newest frame. Two sound cards' clocks never agree exactly, so each
// reader resamples by a ratio kept a hair off 1 (at most 0.5 %, inaudible) that holds its fill
// at the target: the voice stays that late and no later, and never runs dry or over. A reader
// whose device fell far behind (it stalled, or was gone) skips ahead to the target; one that
// runs dry waits until the target is filled again and goes on from there, and keeps a little
// more in hand for a while (given back slowly once none come); either fades back in.
// Pure logic (atomics, no lock, no Windows), so it also runs natively under ThreadSanitizer.
//
// Threads: Write and Restart from one writer (the capture thread); Read of a reader from that
// reader's render thread only; Stats from anywhere.
#pragma once

#include "playback/engine/Pcm.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace velmora::audio {

class LiveInput {
 public:
  static constexpr int kMaxReaders = 2;
  // Two capture periods of 10 ms: a packet arrives while the last one is being read.
  static constexpr uint32_t kDefaultTargetFrames = kEngineRate * 25 / 1000;

  // `ticksPerSecond` of the clock Write's and Read's times are in (0: no latency figures).
  explicit LiveInput(int64_t ticksPerSecond = 0, uint32_t targetFrames = kDefaultTargetFrames);
  LiveInput(const LiveInput&) = delete;
  LiveInput& operator=(const LiveInput&) = delete;

  // Writer: appends `frames` stereo frames (nullptr: silence); `capturedAt` is when the first of
  // them was recorded (0 when unknown).
  void Write(const float* samples, uint32_t frames, int64_t capturedAt = 0);
  // Writer: the device was lost or opened anew; readers start over once the target is filled.
  void Restart();

  // Reader `reader`: writes `frames` frames into `out` (stereo, overwritten), the voice or
  // silence while there is not enough of it. `now` stamps the latency figure. Returns whether
  // any of it is voice.
  bool Read(int reader, float* out, uint32_t frames, int64_t now = 0);
  // Reader `reader`: its device dropped the last `frames` frames read (they were taken back), so
  // they are read again, as far as the ring still holds them.
  void Rewind(int reader, uint32_t frames);

  struct ReaderStats {
    uint64_t underruns = 0;  // ran dry while playing
    uint64_t skips = 0;      // fell so far behind that it skipped ahead
    double fillFrames = 0;   // smoothed fill ahead of each read
    double targetFrames = 0; // what it holds the fill at (raised after running dry)
    double ratio = 1;        // frames taken per frame given
    double latencyMs = 0;    // how long before the last read its first frame was recorded
    uint64_t reads = 0;
  };
  ReaderStats Stats(int reader) const;
  uint32_t TargetFrames() const { return target_; }

 private:
  static constexpr uint32_t kCapacity = 1 << 16;  // frames: about 1.5 s
  struct Reader {
    double position = 0;  // in frames written since the start, fractional
    uint32_t generation = 0;
    bool playing = false;
    bool dry = false;
    double target = 0;
    double calm = 0;  // frames read since it last ran dry
    double fill = 0;
    double integral = 0;
    double ratio = 1;
    float fade = 0;  // gain ramping in after a start
    std::atomic<uint64_t> underruns{0}, skips{0}, reads{0};
    std::atomic<double> statFill{0}, statTarget{0}, statRatio{1}, statLatencyMs{0};
  };
  bool Ready(Reader& r, uint64_t written, int64_t now);
  void Steer(Reader& r, double recorded, uint32_t frames);
  // Frames the device has recorded by `now` and not yet handed over, judged from when the last
  // packet's last frame was recorded; 0 without a clock.
  double RecordedSinceLastPacket(uint64_t written, int64_t now) const;
  float Sample(uint64_t frame, int channel) const {
    return ring_[static_cast<size_t>(frame % kCapacity) * kEngineChannels + static_cast<size_t>(channel)];
  }

  const int64_t ticksPerSecond_;
  const uint32_t target_;
  std::vector<float> ring_;
  std::atomic<uint64_t> written_{0};
  std::atomic<uint32_t> generation_{0};
  std::atomic<uint64_t> restartedAt_{0};
  // When a recent frame was recorded, published together under a sequence count.
  std::atomic<uint32_t> stampSeq_{0};
  std::atomic<uint64_t> stampFrame_{0};
  std::atomic<int64_t> stampTicks_{0};
  Reader readers_[kMaxReaders];
};

}  // namespace velmora::audio
