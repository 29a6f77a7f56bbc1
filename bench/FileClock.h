// When a sample reached a test sink: each recorder's file is watched every millisecond, and a
// sample's time is read off the best case. The poll that saw the most frames for its time had
// just got a fresh piece, so frames / rate - time at that poll is the file's lead over the
// clock, and frame n was played at n / rate - lead. All recorders run alike, so their own
// latency cancels out of a difference between two of them.
#pragma once

#include "bench/BenchFigures.h"
#include "tests/support/SinkRecording.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora::bench {

class FileClock {
 public:
  explicit FileClock(std::vector<const test::SinkRecording*> recordings)
      : recordings_(std::move(recordings)), origin_(Now()), thread_([this] { Watch(); }) {}
  ~FileClock() {
    stop_ = true;
    thread_.join();
  }
  FileClock(const FileClock&) = delete;
  FileClock& operator=(const FileClock&) = delete;

  // Milliseconds on this clock (0 when it was made).
  double NowMs() const { return TicksToMs(Now() - origin_); }
  // The time (ms on this clock) frame `frame` of recording `which` was played, judged from the
  // polls within a second and a half of `aroundMs`.
  double FrameTimeMs(size_t which, long long frame, double aroundMs) const {
    std::lock_guard<std::mutex> lock(lock_);
    double lead = -1e300;
    for (const Poll& p : polls_) {
      if (p.ms < aroundMs - 1500 || p.ms > aroundMs + 1500) continue;
      lead = std::max(lead, static_cast<double>(p.frames[which]) / 44.1 - p.ms);
    }
    return static_cast<double>(frame) / 44.1 - lead;
  }

 private:
  struct Poll {
    double ms;
    std::vector<long long> frames;
  };
  void Watch() {
    while (!stop_) {
      Poll p{NowMs(), {}};
      for (const test::SinkRecording* r : recordings_) p.frames.push_back(r->FileFrames());
      {
        std::lock_guard<std::mutex> lock(lock_);
        polls_.push_back(std::move(p));
      }
      ::Sleep(1);
    }
  }
  const std::vector<const test::SinkRecording*> recordings_;
  const int64_t origin_;
  mutable std::mutex lock_;
  std::vector<Poll> polls_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace velmora::bench
